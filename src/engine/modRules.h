#pragma once

#include <QString>
#include <QStringList>

// The five update rules, in the order they are offered and by the position stored nowhere but
// implied by their text.
enum RulePosition {
    ruleSourceChanged,
    ruleVersionChanged,
    ruleSourceNewer,
    ruleEveryDay,
    ruleOnlyWhenSelected,
};

// The full rule texts in position order.
const QStringList& ruleTexts();
// The position of a stored rule text, matched without regard to case; an unknown text is
// treated as "Only when I select to perform the task".
RulePosition rulePosition(const QString& ruleText);
