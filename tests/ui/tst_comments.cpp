#include "appVersion.h"
#include "frmAbout.h"
#include "frmComments.h"
#include "modInternetSendMessage.h"
#include "modMessageBox.h"
#include "modRegistry.h"
#include "modStringToURL.h"
#include "testHome.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

using namespace std::chrono_literals;

// A comments page on this machine: records each request and answers it as told.
class CommentsServer : public QObject {
    Q_OBJECT
public:
    enum class Reply { answer, hangUp, silent, late };

    Reply reply = Reply::answer;
    QByteArray status = "200 OK";
    QByteArray body = "OK";
    QList<QByteArray> heads; // request line and headers of each request
    std::function<void()> onRequest;

    CommentsServer() {
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, &CommentsServer::accept);
    }
    QByteArray address() const {
        return "http://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/comments.asp";
    }
    // The request line of the only request, split at its blanks.
    QList<QByteArray> requestLine() const {
        if (heads.size() != 1)
            return {};
        return heads[0].left(heads[0].indexOf("\r\n")).split(' ');
    }

private:
    void accept() {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            auto received = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
                const bool complete = received->contains("\r\n\r\n");
                received->append(socket->readAll());
                if (!complete && received->contains("\r\n\r\n")) {
                    heads << received->left(received->indexOf("\r\n\r\n"));
                    respond(socket);
                }
            });
        }
    }
    void respond(QTcpSocket* socket) {
        if (onRequest)
            onRequest();
        const QByteArray answer =
            "HTTP/1.1 " + status +
            "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body;
        switch (reply) {
        case Reply::answer:
            socket->write(answer);
            socket->disconnectFromHost();
            break;
        case Reply::hangUp:
            socket->disconnectFromHost();
            break;
        case Reply::silent:
            break;
        case Reply::late:
            QTimer::singleShot(3000ms, socket, [socket, answer] {
                socket->write(answer);
                socket->disconnectFromHost();
            });
            break;
        }
    }
    QTcpServer server;
};

class TestComments : public QObject {
    Q_OBJECT

    struct Shown {
        MessageKind kind;
        QString title;
        QString text;
    };
    QList<Shown> shown;

    static QString failureText() {
        return "There was a problem sending your information to Kestrelmoor.  Please check you "
               "are connected to the internet correctly, and if the problem persists, try again "
               "later.";
    }
    static QString welcome() {
        return "Kestrelmoor welcomes any comments and suggestions from its users.  Please fill in "
               "the boxes below and click on send.";
    }
    static QString version() {
        return QString::number(appVersionMajor) + '.' + QString::number(appVersionMinor) +
               QString::number(appVersionRevision);
    }
    // The query as the server decodes it from the request line.
    static QString decodedQuery(const QByteArray& target) {
        return QUrl::fromPercentEncoding(target.mid(target.indexOf('?') + 1));
    }

    void send(frmComments& w, const QString& comments, const QString& suggestions) {
        w.txtComments->setPlainText(comments);
        w.txtSuggestions->setPlainText(suggestions);
        w.cmdSend->click();
    }

private slots:
    void init() {
        shown.clear();
        setMessageResponder([this](MessageKind kind, const QString& title, const QString& text) {
            shown << Shown{kind, title, text};
            return true;
        });
        setConnectionTest([] { return true; });
        setRequestTimeout(1500ms);
    }
    void cleanup() {
        setMessageResponder(nullptr);
        setConnectionTest(nullptr);
        setRequestTimeout(defaultRequestTimeout);
        qunsetenv("TIDEWELL_COMMENTS_URL");
    }

    void stringToURLReplacesFourCharacters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("prepared");
        QTest::newRow("apostrophe") << "it's"
                                    << "it`s";
        QTest::newRow("double quote") << "say \"hi\""
                                      << "say ``hi``";
        QTest::newRow("ampersand") << "salt&pepper"
                                   << "saltandpepper";
        QTest::newRow("question mark") << "why?" << QString("why") + QChar(0xAC);
        QTest::newRow("all in a row") << "'\"&?" << QString("```and") + QChar(0xAC);
        QTest::newRow("others pass") << "a b\r\nc=d#e%f+g`h"
                                     << "a b\r\nc=d#e%f+g`h";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("not sign stays") << QString(QChar(0xAC)) << QString(QChar(0xAC));
    }
    void stringToURLReplacesFourCharacters() {
        QFETCH(QString, text);
        QFETCH(QString, prepared);
        QCOMPARE(stringToURL(text), prepared);
        QCOMPARE(stringToURL(stringToURL(text)), prepared);
    }

    void requestHasTheFixedOrderAndLiterals_data() {
        QTest::addColumn<bool>("display");
        QTest::addColumn<QString>("comments");
        QTest::addColumn<QString>("suggestions");
        QTest::addColumn<QString>("tail");
        QTest::newRow("displayed") << true << "Nice"
                                   << "More"
                                   << "&DisplayOnSite=true&Comments='Nice'&Suggestions='More'";
        QTest::newRow("not displayed") << false << ""
                                       << "x"
                                       << "&DisplayOnSite=false&Comments=''&Suggestions='x'";
        QTest::newRow("blanks and line breaks")
            << true << "a b\r\nc"
            << "d\ne"
            << "&DisplayOnSite=true&Comments='a b\r\nc'&Suggestions='d\ne'";
    }
    void requestHasTheFixedOrderAndLiterals() {
        QFETCH(bool, display);
        QFETCH(QString, comments);
        QFETCH(QString, suggestions);
        QFETCH(QString, tail);
        QCOMPARE(commentsRequest(display, comments, suggestions),
                 "comments.asp?AppName='Tidewell'&AppVersion='v" + version() + "'" + tail);
    }

    void addressComesFromTheEnvironmentFirst() {
        qunsetenv("TIDEWELL_COMMENTS_URL");
        QCOMPARE(commentsAddress(), QString::fromUtf8(commentsUrl));
        QVERIFY(QUrl(commentsAddress()).host().endsWith(".example"));
        qputenv("TIDEWELL_COMMENTS_URL", "http://127.0.0.1:8080/site/comments.asp");
        QCOMPARE(commentsAddress(), "http://127.0.0.1:8080/site/comments.asp");
        QCOMPARE(requestUrl("comments.asp?a=1").toString(),
                 "http://127.0.0.1:8080/site/comments.asp?a=1");
        qputenv("TIDEWELL_COMMENTS_URL", "http://127.0.0.1:8080/site/");
        QCOMPARE(requestUrl("comments.asp?a=1").toString(),
                 "http://127.0.0.1:8080/site/comments.asp?a=1");
    }

    void wireFormEncodesAllButTheSeparators() {
        qputenv("TIDEWELL_COMMENTS_URL", "http://127.0.0.1:8080/comments.asp");
        const QString request = commentsRequest(true, "a b\r\nc=d#e%f+g", stringToURL("?"));
        const QByteArray wire = requestUrl(request).toEncoded();
        QCOMPARE(wire, "http://127.0.0.1:8080/comments.asp?AppName=%27Tidewell%27&AppVersion=%27v" +
                           version().toLatin1() +
                           "%27&DisplayOnSite=true&Comments=%27a%20b%0D%0Ac=d%23e%25f%2Bg%27&"
                           "Suggestions=%27%C2%AC%27");
    }

    void controlsCarryTheirNamesAndTexts() {
        TestHome home;
        frmComments w;
        QCOMPARE(w.windowTitle(), "Comments and Suggestions");
        QCOMPARE(w.findChild<QLabel*>("lblIntroduction")->text(),
                 welcome() + "  This service is completely anonymous.");
        QVERIFY(!w.findChild<QLabel*>("imgIntroduction")->pixmap().isNull());
        QCOMPARE(w.findChild<QGroupBox*>("grpIntroduction")->title(), "Introduction");
        QCOMPARE(w.findChild<QGroupBox*>("grpComments")->title(), "Comments");
        QCOMPARE(w.findChild<QGroupBox*>("grpSuggestions")->title(), "Suggestions");
        QVERIFY(w.findChild<QPlainTextEdit*>("txtComments"));
        QVERIFY(w.findChild<QPlainTextEdit*>("txtSuggestions"));
        QCOMPARE(w.findChild<QCheckBox*>("chkDoNotDisplay")->text(),
                 "Do not display my input on the Kestrelmoor website");
        QCOMPARE(w.findChild<QPushButton*>("cmdSend")->text(), "&Send Now");
        QCOMPARE(w.findChild<QPushButton*>("cmdClose")->text(), "Close");
    }

    void quotesTypedIntoCommentsAreDiscarded() {
        TestHome home;
        frmComments w;
        w.show();
        QTest::keyClicks(w.txtComments, "it's \"fine\"");
        QTest::keyClicks(w.txtSuggestions, "it's \"fine\"");
        QCOMPARE(w.txtComments->toPlainText(), "its fine");
        QCOMPARE(w.txtSuggestions->toPlainText(), "it's \"fine\"");
    }

    void textsAreKeptAcrossOpenings() {
        TestHome home;
        {
            frmComments w;
            QCOMPARE(w.txtComments->toPlainText(), "");
            w.txtComments->setPlainText("first\nline");
            w.txtSuggestions->setPlainText("idea");
            w.cmdClose->click();
        }
        QCOMPARE(readSetting(Setting::Comments, "-"), "first\nline");
        frmComments again;
        QCOMPARE(again.txtComments->toPlainText(), "first\nline");
        QCOMPARE(again.txtSuggestions->toPlainText(), "idea");
    }

    void nothingIsSentWhenBothBoxesAreEmpty() {
        TestHome home;
        CommentsServer server;
        qputenv("TIDEWELL_COMMENTS_URL", server.address());
        frmComments w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.cmdSend->setFocus();
        send(w, "", "");
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageKind::refusal);
        QCOMPARE(shown[0].title, "Kestrelmoor Tidewell");
        QCOMPARE(shown[0].text, "You have not entered any information.  Please enter either a "
                                "comment or suggestion into the space provided.");
        QVERIFY(w.txtComments->hasFocus());
        QTest::qWait(100);
        QVERIFY(server.heads.isEmpty());
        QVERIFY(w.isVisible());
    }

    void withoutAConnectionNothingIsSent() {
        TestHome home;
        CommentsServer server;
        qputenv("TIDEWELL_COMMENTS_URL", server.address());
        setConnectionTest([] { return false; });
        frmComments w;
        w.show();
        send(w, "hello", "");
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].kind, MessageKind::refusal);
        QCOMPARE(shown[0].title, "Kestrelmoor Tidewell");
        QCOMPARE(shown[0].text, "Kestrelmoor Tidewell was unable to connect to the internet.  "
                                "Please connect manually and then try again.");
        QCOMPARE(shown[1].kind, MessageKind::failure);
        QCOMPARE(shown[1].text, failureText());
        QTest::qWait(100);
        QVERIFY(server.heads.isEmpty());
        QVERIFY(w.isVisible());
    }

    void theAnswerDecides_data() {
        QTest::addColumn<int>("reply");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("sent");
        const int answer = int(CommentsServer::Reply::answer);
        const QByteArray ok = "200 OK";
        QTest::newRow("OK") << answer << ok << QByteArray("OK") << true;
        QTest::newRow("ok inside a sentence") << answer << ok << QByteArray("Thanks, Ok.") << true;
        QTest::newRow("not ok counts as ok") << answer << ok << QByteArray("not ok") << true;
        QTest::newRow("error") << answer << ok << QByteArray("error") << false;
        QTest::newRow("empty answer") << answer << ok << QByteArray() << false;
        QTest::newRow("ok ending at byte 1000")
            << answer << ok << QByteArray(998, 'x') + "ok" + QByteArray(500, 'x') << true;
        QTest::newRow("ok across byte 1000")
            << answer << ok << QByteArray(999, 'x') + "ok" + QByteArray(499, 'x') << false;
        QTest::newRow("ok only after byte 1000")
            << answer << ok << QByteArray(1200, 'x') + "ok" + QByteArray(298, 'x') << false;
        QTest::newRow("error page holding ok") << answer << QByteArray("404 Not Found")
                                               << QByteArray("Not found: look again") << false;
        QTest::newRow("long error page holding ok")
            << answer << QByteArray("404 Not Found") << "look" + QByteArray(1496, 'x') << false;
        QTest::newRow("server error saying ok")
            << answer << QByteArray("500 Internal Server Error") << QByteArray("ok") << false;
        QTest::newRow("hangs up") << int(CommentsServer::Reply::hangUp) << ok << QByteArray("ok")
                                  << false;
        QTest::newRow("never answers")
            << int(CommentsServer::Reply::silent) << ok << QByteArray("ok") << false;
        QTest::newRow("answers after the timeout")
            << int(CommentsServer::Reply::late) << ok << QByteArray("ok") << false;
    }
    void theAnswerDecides() {
        QFETCH(int, reply);
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, sent);
        TestHome home;
        CommentsServer server;
        server.reply = CommentsServer::Reply(reply);
        server.status = status;
        server.body = body;
        qputenv("TIDEWELL_COMMENTS_URL", server.address());
        frmComments w;
        w.show();
        QElapsedTimer clock;
        clock.start();
        send(w, "Great?", "");
        QVERIFY(clock.elapsed() < 10000);
        // The network library may repeat a request whose connection was dropped unanswered.
        QVERIFY(!server.heads.isEmpty());
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, "Kestrelmoor Tidewell");
        QCOMPARE(w.lblIntroduction->text(), welcome());
        if (sent) {
            QCOMPARE(shown[0].kind, MessageKind::notice);
            QCOMPARE(shown[0].text, "Your comments and suggestions have been sent to "
                                    "Kestrelmoor.  Thank you very much for your input.");
            QVERIFY(!w.isVisible());
        } else {
            QCOMPARE(shown[0].kind, MessageKind::failure);
            QCOMPARE(shown[0].text, failureText());
            QVERIFY(w.isVisible());
            QVERIFY(w.cmdSend->isEnabled());
            QVERIFY(w.cmdClose->isEnabled());
        }
        QCOMPARE(w.txtComments->toPlainText(), QString("Great") + QChar(0xAC));
    }

    void theServerDecodesExactlyTheRequest_data() {
        QTest::addColumn<QString>("comments");
        QTest::addColumn<QString>("suggestions");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("quotes, ampersand, question mark") << "It's \"good\" & fast?"
                                                          << "Why not?" << false;
        QTest::newRow("blanks and line breaks")
            << "one two\nthree\r\nHost: evil.example\r\n\r\nGET / HTTP/1.1"
            << "  " << true;
        QTest::newRow("characters that mean something in a URL")
            << "a=b #c %41 1+1 /x;y" << QString::fromUtf8("caf\u00e9 \u20ac") << false;
    }
    void theServerDecodesExactlyTheRequest() {
        QFETCH(QString, comments);
        QFETCH(QString, suggestions);
        QFETCH(bool, hidden);
        TestHome home;
        CommentsServer server;
        qputenv("TIDEWELL_COMMENTS_URL", server.address());
        frmComments w;
        w.chkDoNotDisplay->setChecked(hidden);
        w.show();
        w.txtComments->setPlainText(comments);
        w.txtSuggestions->setPlainText(suggestions);
        // The boxes hold each line break as one line feed.
        const QString typedComments = w.txtComments->toPlainText();
        const QString typedSuggestions = w.txtSuggestions->toPlainText();
        w.cmdSend->click();
        const QString expected =
            commentsRequest(!hidden, stringToURL(typedComments), stringToURL(typedSuggestions));
        QCOMPARE(w.txtComments->toPlainText(), stringToURL(typedComments));
        QCOMPARE(w.txtSuggestions->toPlainText(), stringToURL(typedSuggestions));

        const QList<QByteArray> line = server.requestLine();
        QCOMPARE(line.size(), 3);
        QCOMPARE(line[0], "GET");
        QCOMPARE(line[2], "HTTP/1.1");
        const QByteArray target = line[1];
        QCOMPARE(target.left(target.indexOf('?')), "/comments.asp");
        for (const char raw : {' ', '\r', '\n', '#', '+', '"', '\''})
            QVERIFY2(!target.contains(raw), target.constData());
        QCOMPARE("comments.asp?" + decodedQuery(target), expected);
        // The head holds the request line and the client's own headers, nothing of the texts.
        const QList<QByteArray> headers = server.heads[0].split('\n');
        QCOMPARE(std::count_if(headers.begin(), headers.end(),
                               [](const QByteArray& h) { return h.startsWith("Host:"); }),
                 1);
        QVERIFY(!server.heads[0].contains("\r\nHost: evil.example"));
        QVERIFY(!server.heads[0].contains("GET / HTTP"));
        QVERIFY(server.heads[0].contains("\r\nUser-Agent: Kestrelmoor\r\n"));
    }

    void whileSendingTheWindowCannotSendAgainOrClose() {
        TestHome home;
        CommentsServer server;
        qputenv("TIDEWELL_COMMENTS_URL", server.address());
        frmComments w;
        w.show();
        QStringList during;
        server.onRequest = [&] {
            during << w.lblIntroduction->text();
            for (QWidget* control :
                 {static_cast<QWidget*>(w.txtComments), static_cast<QWidget*>(w.txtSuggestions),
                  static_cast<QWidget*>(w.cmdSend), static_cast<QWidget*>(w.cmdClose)})
                during << (control->isEnabled() ? "enabled" : "disabled");
            QTest::keyClick(&w, Qt::Key_Return);
            QTest::keyClick(&w, Qt::Key_Escape);
            w.cmdSend->click();
            w.reject();
            during << (w.isVisible() ? "open" : "closed");
        };
        send(w, "", "just a suggestion");
        QCOMPARE(during, QStringList({"Please wait while your information is being sent to the "
                                      "Kestrelmoor website...",
                                      "disabled", "disabled", "disabled", "disabled", "open"}));
        QTest::qWait(100);
        QCOMPARE(server.heads.size(), 1);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageKind::notice);
        QVERIFY(!w.isVisible());
    }

    void afterSendingTheNextOpeningShowsThePreparedTexts() {
        TestHome home;
        CommentsServer server;
        qputenv("TIDEWELL_COMMENTS_URL", server.address());
        {
            frmComments w;
            w.show();
            send(w, "Tom's & Jerry's?", "\"Quoted\"");
            QVERIFY(!w.isVisible());
        }
        frmComments again;
        QCOMPARE(again.txtComments->toPlainText(), QString("Tom`s and Jerry`s") + QChar(0xAC));
        QCOMPARE(again.txtSuggestions->toPlainText(), "``Quoted``");
    }

    void screenshot() {
        const QByteArray folder = qgetenv("TIDEWELL_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("TIDEWELL_SCREENSHOTS names no folder");
        TestHome home;
        writeSetting(Setting::Comments, "Tidewell saves me a lot of copying.");
        CommentsServer server;
        qputenv("TIDEWELL_COMMENTS_URL", server.address());
        frmComments w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.grab().save(QFile::decodeName(folder) + "/comments.png"));
        server.onRequest = [&] {
            QVERIFY(w.grab().save(QFile::decodeName(folder) + "/comments-sending.png"));
        };
        w.cmdSend->click();
    }
};

QTEST_MAIN(TestComments)
#include "tst_comments.moc"
