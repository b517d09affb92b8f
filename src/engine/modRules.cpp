#include "modRules.h"

const QStringList& ruleTexts() {
    static const QStringList texts = {
        QStringLiteral("When the source file is changed"),
        QStringLiteral("When the source file's version changes"),
        QStringLiteral("When the source file is newer than the destination file"),
        QStringLiteral("Every day"),
        QStringLiteral("Only when I select to perform the task"),
    };
    return texts;
}

RulePosition rulePosition(const QString& ruleText) {
    const QStringList& texts = ruleTexts();
    for (int position = 0; position < texts.size(); ++position) {
        if (texts[position].compare(ruleText, Qt::CaseInsensitive) == 0)
            return static_cast<RulePosition>(position);
    }
    return ruleOnlyWhenSelected;
}
