#pragma once

#include <QString>

#include <optional>

// One entry of the interactive help: a title and its text (two paragraphs are separated by
// one empty line, CR LF twice).
struct HelpEntry {
    QString title;
    QString text;
};

// The entry for a help key, matched without regard to case; nothing for an unknown key.
std::optional<HelpEntry> helpEntry(const QString& key);
