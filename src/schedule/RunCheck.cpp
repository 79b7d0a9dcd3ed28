#include "schedule/RunCheck.h"

#include "schedule/ChangeSchedule.h"
#include "schedule/GroupList.h"

RunCheck CheckRun(const std::optional<std::string> &group, const std::vector<std::string> &groupNames,
                  const std::function<IntervalTexts()> &readInterval)
{
    RunCheck check;
    if (group && group->empty()) {
        check.refusal = RunRefusal::NoGroup;
        return check;
    }
    if (!group || !IsListedGroup(*group, groupNames)) {
        check.refusal = RunRefusal::GroupNotListed;
        return check;
    }
    const IntervalTexts texts = readInterval();
    check.interval = IntervalMilliseconds(texts.hh, texts.mm, texts.ss);
    check.texts = texts;
    if (check.interval < 10000 || AnyNegative(texts.hh, texts.mm, texts.ss))
        check.refusal = RunRefusal::IntervalTooShort;
    return check;
}

const char *RunRefusalMessage(RunRefusal refusal)
{
    // In the order of RunRefusal.
    static const char *const messages[] = {"", "壁紙グループを選択してください。",
                                           "グループリストに無いものが入力されています。",
                                           "変更間隔は１０秒以上にしてね。"};
    return messages[static_cast<int>(refusal)];
}
