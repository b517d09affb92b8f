#include "modInternetSendMessage.h"

#include "appVersion.h"
#include "modMessageBox.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace {
constexpr qint64 answerLimit = 1000;
const QByteArray agentName = QByteArrayLiteral("Kestrelmoor");

std::chrono::milliseconds& requestTimeout() {
    static std::chrono::milliseconds timeout = defaultRequestTimeout;
    return timeout;
}

ConnectionTest& connectionTest() {
    static ConnectionTest installed;
    return installed;
}

bool isErrorPage(const QNetworkReply& reply) {
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() >= 400;
}

// The first bytes of the answer, at most answerLimit of them; empty when the request fails,
// the server answers with an error page or says nothing within the timeout.
QByteArray fetchAnswer(const QUrl& url) {
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, agentName);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // Enough of the answer is in once the limit is reached; the rest is never read.
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        if (reply->bytesAvailable() >= answerLimit)
            loop.quit();
    });
    timer.start(requestTimeout());
    loop.exec();

    const bool complete = reply->isFinished() || reply->bytesAvailable() >= answerLimit;
    QByteArray answer;
    if (complete && reply->error() == QNetworkReply::NoError && !isErrorPage(*reply))
        answer = reply->read(answerLimit);
    reply->abort();
    return answer;
}

void showNoConnection(QWidget* parent) {
    const QString title = QStringLiteral("Kestrelmoor ") + QString::fromLatin1(applicationTitle);
    showMessage(parent, MessageKind::refusal, title,
                title + QStringLiteral(" was unable to connect to the internet.  Please connect "
                                       "manually and then try again."));
}
} // namespace

QString commentsAddress() {
    const QString configured = qEnvironmentVariable("TIDEWELL_COMMENTS_URL");
    return configured.isEmpty() ? QString::fromUtf8(commentsUrl) : configured;
}

QUrl requestUrl(const QString& request) {
    const qsizetype mark = request.indexOf(QLatin1Char('?'));
    QUrl url = QUrl(commentsAddress()).resolved(QUrl(request.left(mark)));
    if (mark >= 0)
        url.setQuery(QString::fromLatin1(QUrl::toPercentEncoding(request.mid(mark + 1), "&=")),
                     QUrl::StrictMode);
    return url;
}

bool isConnected() {
    if (connectionTest())
        return connectionTest()();
    if (!QNetworkInformation::instance())
        QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    const QNetworkInformation* information = QNetworkInformation::instance();
    if (!information || !information->supports(QNetworkInformation::Feature::Reachability))
        return true;
    return information->reachability() != QNetworkInformation::Reachability::Disconnected;
}

bool autodial(bool unattended) {
    // Nothing on this desktop brings up a connection on request, attended or not; one the
    // user starts by hand is found by the next connection test.
    Q_UNUSED(unattended);
    return false;
}

bool ensureConnection() {
    return isConnected() || autodial(false);
}

bool sendMessage(QWidget* parent, const QString& request) {
    if (!ensureConnection()) {
        showNoConnection(parent);
        return false;
    }
    const QByteArray answer = fetchAnswer(requestUrl(request));
    return answer.toLower().contains("ok");
}

void setRequestTimeout(std::chrono::milliseconds timeout) {
    requestTimeout() = timeout;
}

void setConnectionTest(ConnectionTest test) {
    connectionTest() = std::move(test);
}
