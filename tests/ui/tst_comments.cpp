#include "appVersion.h"
#include "frmAbout.h"
#include "frmComments.h"
#include "modInternetSendMessage.h"
#include "modRegistry.h"
#include "modStringToURL.h"
#include "windowFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace std::chrono_literals;

// A comments page on this machine, at TIDEWELL_COMMENTS_URL: keeps the head of each request and
// answers with `reply` (status, headers and body) after `delay` ms, or hangs up when the delay is
// negative.
class CommentsServer : public QObject {
    Q_OBJECT
public:
    int delay = 0;
    QByteArray reply;
    QList<QByteArray> heads;
    std::function<void()> onRequest;

    CommentsServer() {
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
        qputenv("TIDEWELL_COMMENTS_URL",
                "http://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/comments.asp");
    }

private:
    void read(QTcpSocket* socket) {
        const QByteArray head = socket->property("head").toByteArray() + socket->readAll();
        socket->setProperty("head", head);
        if (!head.contains("\r\n\r\n"))
            return;
        socket->disconnect(this);
        heads << head.left(head.indexOf("\r\n\r\n"));
        if (onRequest)
            onRequest();
        const QByteArray answer = "HTTP/1.1 " + reply;
        QTimer::singleShot(std::max(delay, 0), socket, [socket, answer, hangUp = delay < 0] {
            if (!hangUp)
                socket->write(answer);
            socket->disconnectFromHost();
        });
    }
    QTcpServer server;
};

namespace {

const QString title = "Kestrelmoor Tidewell";
const ShownMessage sentNotice{MessageKind::notice, title,
                              "Your comments and suggestions have been sent to Kestrelmoor.  "
                              "Thank you very much for your input."};
const ShownMessage failed{MessageKind::failure, title,
                          "There was a problem sending your information to Kestrelmoor.  "
                          "Please check you are connected to the internet correctly, and if "
                          "the problem persists, try again later."};

// One sending: the server's delay in ms (-1 hangs up; -2: not even connected) and reply, the
// boxes the user sees, and what was typed.
struct Exchange {
    int delay;
    QByteArray reply;
    QList<ShownMessage> messages;
    QString comments, suggestions;
};

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

    // Four characters are replaced, once and for all, and the rest passes. The query's keys in
    // their fixed order and literals; encoded but for its separators, at the address the
    // environment gives first.
    void requestAndWireForm() {
        const QString prepared = "it`s ``hi`` saltandpepper why\u00ac a b\r\nc=d#e%f+g`h\u00ac";
        QCOMPARE(stringToURL("it's \"hi\" salt&pepper why? a b\r\nc=d#e%f+g`h\u00ac"), prepared);
        QCOMPARE(stringToURL(prepared), prepared);
        const QString version = versionText(appVersionMajor, appVersionMinor, appVersionRevision);
        QCOMPARE(commentsRequest(false, "", "x"),
                 "comments.asp?AppName='Tidewell'&AppVersion='v" + version +
                     "'&DisplayOnSite=false&Comments=''&Suggestions='x'");
        qputenv("TIDEWELL_COMMENTS_URL", "http://127.0.0.1:8080/site/");
        QCOMPARE(requestUrl("comments.asp?a=1").toString(),
                 "http://127.0.0.1:8080/site/comments.asp?a=1");
        qputenv("TIDEWELL_COMMENTS_URL", "http://127.0.0.1:8080/comments.asp");
        const QString request = commentsRequest(true, "a b\r\nc=d#e%f+g", stringToURL("?"));
        QCOMPARE(requestUrl(request).toEncoded(),
                 "http://127.0.0.1:8080/comments.asp?AppName=%27Tidewell%27&AppVersion=%27v" +
                     version.toLatin1() +
                     "%27&DisplayOnSite=true&Comments=%27a%20b%0D%0Ac=d%23e%25f%2Bg%27&"
                     "Suggestions=%27%C2%AC%27");
    }

    void theAnswerDecides_data() {
        QTest::addColumn<Exchange>("exchange");
        const auto row = [](const char* name, int delay, const QByteArray& reply,
                            const QList<ShownMessage>& messages, const QString& comments = "Great?",
                            const QString& suggestions = "") {
            QTest::newRow(name) << Exchange{delay, reply, messages, comments, suggestions};
        };
        const QByteArray ok = "200 OK\r\nConnection: close\r\n\r\n";
        row("ok inside a sentence; quotes, ampersand, question mark", 0, ok + "Thanks, Ok.",
            {sentNotice}, "It's \"good\" & fast?", "Why not?");
        row("ok ending at byte 1000; blanks and line breaks", 0,
            ok + QByteArray(998, 'x') + "ok" + QByteArray(500, 'x'), {sentNotice},
            "one two\nthree\r\nHost: evil.example\r\n\r\nGET / HTTP/1.1", "  ");
        row("ok across byte 1000; characters that mean something in a URL", 0,
            ok + QByteArray(999, 'x') + "ok" + QByteArray(499, 'x'), {failed},
            "a=b #c %41 1+1 /x;y", QString::fromUtf8("caf\u00e9 \u20ac"));
        row("error; suggestion only", 0, ok + "error", {failed}, "", "just a suggestion");
        row("empty answer", 0, ok, {failed});
        row("error page holding ok", 0, "404 Not Found\r\n\r\nok", {failed});
        row("hangs up", -1, ok + "ok", {failed});
        row("answers after the timeout", 3000, ok + "ok", {failed});
        row("both boxes empty", 0, ok + "ok",
            {{MessageKind::refusal, title,
              "You have not entered any information.  Please enter either a comment or "
              "suggestion into the space provided."}},
            "");
        row("no connection", -2, ok + "ok",
            {{MessageKind::refusal, title,
              "Kestrelmoor Tidewell was unable to connect to the internet.  Please connect "
              "manually and then try again."},
             failed});
    }
    // While the request runs the window neither sends again nor closes; the server decodes
    // exactly the prepared texts, which the boxes then show and keep for the next opening.
    void theAnswerDecides() {
        QFETCH(Exchange, exchange);
        const auto& [delay, reply, messages, comments, suggestions] = exchange;
        WindowFixture<frmComments> f;
        CommentsServer server;
        server.delay = delay;
        server.reply = reply;
        setConnectionTest([connected = delay > -2] { return connected; });
        const bool hidden = comments.contains('\n'); // one row asks to stay off the website
        f.w.chkDoNotDisplay->setChecked(hidden);
        f.w.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.w));
        f.w.cmdSend->setFocus();
        QStringList during;
        server.onRequest = [&] {
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
        // Quotes typed into the comments are dropped, not those typed into the suggestions.
        QTest::keyClicks(f.w.txtComments, "'\"");
        QTest::keyClicks(f.w.txtSuggestions, suggestions.isEmpty() ? "" : "'\"");
        QCOMPARE(f.w.txtComments->toPlainText() + '|' + f.w.txtSuggestions->toPlainText(),
                 QString(comments).replace("\r\n", "\n") + '|' +
                     (suggestions.isEmpty() ? "" : "'\"") + suggestions);
        // The boxes hold each line break as one line feed.
        const QString prepared = stringToURL(f.w.txtComments->toPlainText());
        const QString preparedSuggestions = stringToURL(f.w.txtSuggestions->toPlainText());
        f.w.cmdSend->click();
        QCOMPARE(f.messages.shown, messages);
        QCOMPARE(f.w.isVisible(), messages.first() != sentNotice);
        QVERIFY(f.w.cmdSend->isEnabled() && f.w.cmdClose->isEnabled());
        if (messages.first().kind == MessageKind::refusal) {
            QTest::qWait(100);
            QVERIFY(server.heads.isEmpty());
            QVERIFY(f.w.txtComments->hasFocus() || delay == -2);
            return;
        }
        QVERIFY(f.w.lblIntroduction->text().startsWith("Kestrelmoor welcomes any comments"));
        f.w.cmdClose->click();
        frmComments again;
        QCOMPARE(again.txtComments->toPlainText() + again.txtSuggestions->toPlainText(),
                 prepared + preparedSuggestions);
        // The network library may repeat a request whose connection was dropped unanswered.
        QCOMPARE(during.mid(0, 6).join('|'), "Please wait while your information is being sent to "
                                             "the Kestrelmoor website...|disabled|disabled|"
                                             "disabled|disabled|open");
        const QByteArray head = server.heads.first();
        const QList<QByteArray> line = head.left(head.indexOf("\r\n")).split(' ');
        // Encoded exactly as the wire form above: no blank, line break, '#', '+' or quote raw.
        QCOMPARE(line, QList<QByteArray>(
                           {"GET",
                            requestUrl(commentsRequest(!hidden, prepared, preparedSuggestions))
                                .toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority),
                            "HTTP/1.1"}));
        QVERIFY(head.contains("\r\nUser-Agent: Kestrelmoor\r\n"));
    }
};

QTEST_MAIN(TestComments)
#include "tst_comments.moc"
