#include "modStringToURL.h"

QString stringToURL(const QString& text) {
    QString prepared;
    prepared.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\'':
            prepared += QLatin1Char('`');
            break;
        case '"':
            prepared += QLatin1String("``");
            break;
        case '&':
            prepared += QLatin1String("and");
            break;
        case '?':
            prepared += QChar(0x00AC);
            break;
        default:
            prepared += c;
        }
    }
    return prepared;
}
