#pragma once

#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class QWidget;

// The address of the comments page: the environment variable TIDEWELL_COMMENTS_URL when it is
// set, otherwise the address the program was built with.
QString commentsAddress();

// Where a request such as "comments.asp?AppName='Tidewell'&..." goes: its page taken relative
// to the comments address, its query percent-encoded so that blanks, line breaks and the other
// characters the query may hold reach the server as the text it decodes, never as parts of the
// request line or headers. "&" and "=" stay as they are: they separate the query's keys.
QUrl requestUrl(const QString& request);

// True unless the desktop knows for certain that this machine has no network connection; when
// it cannot tell, the request itself finds out.
bool isConnected();
// Asks for a dial-up connection; unattended asks without showing anything.
bool autodial(bool unattended = false);
// Connected already, or after a dial-up request the user may answer.
bool ensureConnection();

// Sends the request and reads up to 1000 bytes of the answer; true when the answer is not an
// error page and holds "ok" in any letter case. Says so when there is no connection. The window
// keeps repainting while the request runs; a request that takes longer than the timeout fails.
bool sendMessage(QWidget* parent, const QString& request);

inline constexpr std::chrono::milliseconds defaultRequestTimeout{30000};
// Tests shorten the wait for a silent server and answer the connection test themselves; an
// empty test restores the desktop's.
void setRequestTimeout(std::chrono::milliseconds timeout);
using ConnectionTest = std::function<bool()>;
void setConnectionTest(ConnectionTest test);
