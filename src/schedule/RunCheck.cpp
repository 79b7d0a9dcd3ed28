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
    switch (refusal) {
    case RunRefusal::NoGroup:
        return "壁紙グループを選択してください。";
    case RunRefusal::GroupNotListed:
        return "グループリストに無いものが入力されています。";
    case RunRefusal::IntervalTooShort:
        return "変更間隔は１０秒以上にしてね。";
    case RunRefusal::None:
        break;
    }
    return "";
}
