#pragma once

#include <QString>

// Makes a text safe to stand between the quotes of a query value: ' becomes `, " becomes ``,
// & becomes "and" and ? becomes the not sign; everything else stays. Applying it twice gives
// the same text as applying it once.
QString stringToURL(const QString& text);
