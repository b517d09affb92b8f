#include "appVersion.h"
#include "frmAbout.h"
#include "frmComments.h"
#include "modInternetSendMessage.h"
#include "modRegistry.h"
#include "modStringToURL.h"
#include "windowFixture.h"

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

#include <functional>

using namespace std::chrono_literals;

// A comments page on this machine, at TIDEWELL_COMMENTS_URL: keeps the head of each request and
// answers as told.
class CommentsServer : public QObject {
    Q_OBJECT
public:
    enum class Reply { answer, hangUp, late };

    Reply reply = Reply::answer;
    QByteArray status = "200 OK";
    QByteArray body = "OK";
    QList<QByteArray> heads;
    std::function<void()> onRequest;

    CommentsServer() {
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    socket->setProperty("head",
                                        socket->property("head").toByteArray() + socket->readAll());
                    const QByteArray head = socket->property("head").toByteArray();
                    if (head.contains("\r\n\r\n") && !socket->property("answered").toBool()) {
                        socket->setProperty("answered", true);
                        heads << head.left(head.indexOf("\r\n\r\n"));
                        respond(socket);
                    }
                });
        });
        qputenv("TIDEWELL_COMMENTS_URL",
                "http://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/comments.asp");
    }

private:
    void respond(QTcpSocket* socket) {
        if (onRequest)
            onRequest();
        const QByteArray answer = "HTTP/1.1 " + status +
                                  "\r\nContent-Length: " + QByteArray::number(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body;
        if (reply == Reply::hangUp)
            socket->disconnectFromHost();
        else
            QTimer::singleShot(reply == Reply::late ? 3000ms : 0ms, socket, [socket, answer] {
                socket->write(answer);
                socket->disconnectFromHost();
            });
    }
    QTcpServer server;
};

namespace {

const QString welcome = "Kestrelmoor welcomes any comments and suggestions from its users.  "
                        "Please fill in the boxes below and click on send.";
const QString title = "Kestrelmoor Tidewell";
const ShownMessage sentNotice{MessageKind::notice, title,
                              "Your comments and suggestions have been sent to Kestrelmoor.  "
                              "Thank you very much for your input."};
const ShownMessage failed{MessageKind::failure, title,
                          "There was a problem sending your information to Kestrelmoor.  "
                          "Please check you are connected to the internet correctly, and if "
                          "the problem persists, try again later."};

QString version() {
    return versionText(appVersionMajor, appVersionMinor, appVersionRevision);
}

void send(frmComments& w, const QString& comments, const QString& suggestions) {
    w.txtComments->setPlainText(comments);
    w.txtSuggestions->setPlainText(suggestions);
    w.cmdSend->click();
}

} // namespace

class TestComments : public QObject {
    Q_OBJECT

private slots:
    void init() { setRequestTimeout(1500ms); }
    void cleanup() {
        setConnectionTest(nullptr);
        setRequestTimeout(defaultRequestTimeout);
        qunsetenv("TIDEWELL_COMMENTS_URL");
    }

    void stringToURLReplacesFourCharacters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("prepared");
        const QString notSign(QChar(0xAC));
        QTest::newRow("apostrophe") << "it's" << QString("it`s");
        QTest::newRow("double quote") << "say \"hi\"" << QString("say ``hi``");
        QTest::newRow("ampersand") << "salt&pepper" << QString("saltandpepper");
        QTest::newRow("question mark") << "why?"
                                       << "why" + notSign;
        QTest::newRow("all in a row") << "'\"&?"
                                      << "```and" + notSign;
        QTest::newRow("others pass") << "a b\r\nc=d#e%f+g`h" << QString("a b\r\nc=d#e%f+g`h");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("not sign stays") << notSign << notSign;
    }
    void stringToURLReplacesFourCharacters() {
        QFETCH(QString, text);
        QFETCH(QString, prepared);
        QCOMPARE(stringToURL(text), prepared);
        QCOMPARE(stringToURL(stringToURL(text)), prepared);
    }

    // The query's keys in their fixed order and literals; encoded but for its separators, at
    // the address the environment gives first.
    void requestAndWireForm() {
        QCOMPARE(commentsRequest(false, "", "x"),
                 "comments.asp?AppName='Tidewell'&AppVersion='v" + version() +
                     "'&DisplayOnSite=false&Comments=''&Suggestions='x'");
        QCOMPARE(commentsAddress(), QString::fromUtf8(commentsUrl));
        QVERIFY(QUrl(commentsAddress()).host().endsWith(".example"));
        qputenv("TIDEWELL_COMMENTS_URL", "http://127.0.0.1:8080/site/");
        QCOMPARE(requestUrl("comments.asp?a=1").toString(),
                 "http://127.0.0.1:8080/site/comments.asp?a=1");
        qputenv("TIDEWELL_COMMENTS_URL", "http://127.0.0.1:8080/comments.asp");
        QCOMPARE(commentsAddress(), "http://127.0.0.1:8080/comments.asp");
        const QString request = commentsRequest(true, "a b\r\nc=d#e%f+g", stringToURL("?"));
        QCOMPARE(requestUrl(request).toEncoded(),
                 "http://127.0.0.1:8080/comments.asp?AppName=%27Tidewell%27&AppVersion=%27v" +
                     version().toLatin1() +
                     "%27&DisplayOnSite=true&Comments=%27a%20b%0D%0Ac=d%23e%25f%2Bg%27&"
                     "Suggestions=%27%C2%AC%27");
    }

    void captions() {
        WindowFixture<frmComments> f;
        QVERIFY(!f.w.imgIntroduction->pixmap().isNull());
        QCOMPARE(
            captionsOf(f.w, {"windowTitle", "lblIntroduction", "grpIntroduction", "grpComments",
                             "grpSuggestions", "chkDoNotDisplay", "cmdSend", "cmdClose"}),
            QStringList({"windowTitle=Comments and Suggestions",
                         "lblIntroduction=" + welcome + "  This service is completely anonymous.",
                         "grpIntroduction=Introduction", "grpComments=Comments",
                         "grpSuggestions=Suggestions",
                         "chkDoNotDisplay=Do not display my input on the Kestrelmoor website",
                         "cmdSend=&Send Now", "cmdClose=Close"}));
    }

    // Quotes typed into the comments are discarded; both texts outlive the window.
    void typedTextsAreKeptAcrossOpenings() {
        TestHome home;
        {
            frmComments w;
            w.show();
            QCOMPARE(w.txtComments->toPlainText(), "");
            QTest::keyClicks(w.txtComments, "it's \"fine\"");
            QTest::keyClicks(w.txtSuggestions, "it's \"fine\"");
            w.txtComments->appendPlainText("line");
            w.cmdClose->click();
        }
        QCOMPARE(readSetting(Setting::Comments, "-"), "its fine\nline");
        frmComments again;
        QCOMPARE(again.txtComments->toPlainText(), "its fine\nline");
        QCOMPARE(again.txtSuggestions->toPlainText(), "it's \"fine\"");
    }

    void theAnswerDecides_data() {
        QTest::addColumn<QString>("comments");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("reply");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QList<ShownMessage>>("messages");
        using R = CommentsServer::Reply;
        const auto row = [](const char* name, R reply, const QByteArray& status,
                            const QByteArray& body, const QList<ShownMessage>& messages,
                            const QString& comments = "Great?", bool connected = true) {
            QTest::newRow(name) << comments << connected << int(reply) << status << body
                                << messages;
        };
        const QByteArray ok = "200 OK";
        row("OK", R::answer, ok, "OK", {sentNotice});
        row("ok inside a sentence", R::answer, ok, "Thanks, Ok.", {sentNotice});
        row("not ok counts as ok", R::answer, ok, "not ok", {sentNotice});
        row("error", R::answer, ok, "error", {failed});
        row("empty answer", R::answer, ok, "", {failed});
        row("ok ending at byte 1000", R::answer, ok,
            QByteArray(998, 'x') + "ok" + QByteArray(500, 'x'), {sentNotice});
        row("ok across byte 1000", R::answer, ok,
            QByteArray(999, 'x') + "ok" + QByteArray(499, 'x'), {failed});
        row("ok only after byte 1000", R::answer, ok,
            QByteArray(1200, 'x') + "ok" + QByteArray(298, 'x'), {failed});
        row("error page holding ok", R::answer, "404 Not Found", "Not found: look again", {failed});
        row("long error page holding ok", R::answer, "404 Not Found",
            "look" + QByteArray(1496, 'x'), {failed});
        row("server error saying ok", R::answer, "500 Internal Server Error", "ok", {failed});
        row("hangs up", R::hangUp, ok, "ok", {failed});
        row("answers after the timeout", R::late, ok, "ok", {failed});
        row("both boxes empty", R::answer, ok, "ok",
            {{MessageKind::refusal, title,
              "You have not entered any information.  Please enter either a comment or "
              "suggestion into the space provided."}},
            "");
        row("no connection", R::answer, ok, "ok",
            {{MessageKind::refusal, title,
              "Kestrelmoor Tidewell was unable to connect to the internet.  Please connect "
              "manually and then try again."},
             failed},
            "hello", false);
    }
    void theAnswerDecides() {
        QFETCH(QString, comments);
        QFETCH(bool, connected);
        QFETCH(int, reply);
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, body);
        QFETCH(QList<ShownMessage>, messages);
        WindowFixture<frmComments> f;
        CommentsServer server;
        server.reply = CommentsServer::Reply(reply);
        server.status = status;
        server.body = body;
        setConnectionTest([connected] { return connected; });
        f.w.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.w));
        f.w.cmdSend->setFocus();
        QElapsedTimer clock;
        clock.start();
        send(f.w, comments, "");
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(f.messages.shown, messages);
        const bool sent = messages.first() == sentNotice;
        const bool refused = messages.first().kind == MessageKind::refusal;
        if (refused)
            QTest::qWait(100);
        // The network library may repeat a request whose connection was dropped unanswered.
        QCOMPARE(server.heads.isEmpty(), refused);
        QCOMPARE(f.w.isVisible(), !sent);
        if (!refused)
            QCOMPARE(f.w.lblIntroduction->text(), welcome);
        QVERIFY(f.w.cmdSend->isEnabled() && f.w.cmdClose->isEnabled());
        if (!refused)
            QCOMPARE(f.w.txtComments->toPlainText(), QString("Great") + QChar(0xAC));
        if (comments.isEmpty())
            QVERIFY(f.w.txtComments->hasFocus());
    }

    void theServerDecodesExactlyTheRequest_data() {
        QTest::addColumn<QString>("comments");
        QTest::addColumn<QString>("suggestions");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("quotes, ampersand, question mark")
            << "It's \"good\" & fast?" << QString("Why not?") << false;
        QTest::newRow("blanks and line breaks")
            << "one two\nthree\r\nHost: evil.example\r\n\r\nGET / HTTP/1.1" << QString("  ")
            << true;
        QTest::newRow("characters that mean something in a URL")
            << "a=b #c %41 1+1 /x;y" << QString::fromUtf8("caf\u00e9 \u20ac") << false;
        QTest::newRow("suggestion only") << QString() << QString("just a suggestion") << false;
    }
    // While the request runs the window neither sends again nor closes; the server decodes
    // exactly the prepared texts, which the next opening shows.
    void theServerDecodesExactlyTheRequest() {
        QFETCH(QString, comments);
        QFETCH(QString, suggestions);
        QFETCH(bool, hidden);
        WindowFixture<frmComments> f;
        CommentsServer server;
        f.w.chkDoNotDisplay->setChecked(hidden);
        savePicture(f.w, "comments");
        f.w.show();
        QStringList during;
        server.onRequest = [&] {
            savePicture(f.w, "comments-sending");
            during << f.w.lblIntroduction->text();
            for (QWidget* control : std::initializer_list<QWidget*>{
                     f.w.txtComments, f.w.txtSuggestions, f.w.cmdSend, f.w.cmdClose})
                during << (control->isEnabled() ? "enabled" : "disabled");
            QTest::keyClick(&f.w, Qt::Key_Return);
            QTest::keyClick(&f.w, Qt::Key_Escape);
            f.w.cmdSend->click();
            f.w.reject();
            during << (f.w.isVisible() ? "open" : "closed");
        };
        f.w.txtComments->setPlainText(comments);
        f.w.txtSuggestions->setPlainText(suggestions);
        // The boxes hold each line break as one line feed.
        const QString prepared = stringToURL(f.w.txtComments->toPlainText());
        const QString preparedSuggestions = stringToURL(f.w.txtSuggestions->toPlainText());
        f.w.cmdSend->click();
        QCOMPARE(during, QStringList({"Please wait while your information is being sent to the "
                                      "Kestrelmoor website...",
                                      "disabled", "disabled", "disabled", "disabled", "open"}));
        QTest::qWait(100);
        QCOMPARE(f.messages.shown, QList<ShownMessage>({sentNotice}));
        QVERIFY(!f.w.isVisible());
        frmComments again;
        QCOMPARE(again.txtComments->toPlainText(), prepared);
        QCOMPARE(again.txtSuggestions->toPlainText(), preparedSuggestions);

        QCOMPARE(server.heads.size(), 1);
        const QByteArray head = server.heads[0];
        const QList<QByteArray> line = head.left(head.indexOf("\r\n")).split(' ');
        QCOMPARE(line.size(), 3);
        QCOMPARE(line[0], "GET");
        QCOMPARE(line[2], "HTTP/1.1");
        const QByteArray target = line[1];
        QCOMPARE(target.left(target.indexOf('?')), "/comments.asp");
        for (const char raw : {' ', '\r', '\n', '#', '+', '"', '\''})
            QVERIFY2(!target.contains(raw), target.constData());
        QCOMPARE("comments.asp?" + QUrl::fromPercentEncoding(target.mid(target.indexOf('?') + 1)),
                 commentsRequest(!hidden, prepared, preparedSuggestions));
        // The head holds the request line and the client's own headers, nothing of the texts.
        QCOMPARE(head.count("\nHost:"), 1);
        QVERIFY(!head.contains("\r\nHost: evil.example") && !head.contains("GET / HTTP"));
        QVERIFY(head.contains("\r\nUser-Agent: Kestrelmoor\r\n"));
    }
};

QTEST_MAIN(TestComments)
#include "tst_comments.moc"
