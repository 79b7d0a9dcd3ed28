#include "schedule/RunCheck.h"

#include "platform/IntConvert.h"
#include "schedule/ChangeSchedule.h"
#include "schedule/GroupFile.h"
#include "schedule/GroupList.h"

RunCheck CheckRun(const std::optional<std::string> &group, const std::vector<std::string> &groupNames,
                  const std::function<IntervalTexts()> &readInterval,
                  const std::function<bool(const std::string &group)> &hasPictures)
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
    // A group without pictures would fail at every interval from then on.
    else if (!hasPictures(*group))
        check.refusal = RunRefusal::GroupWithoutPictures;
    return check;
}

bool GroupHasPictures(const std::string &useSection)
{
    GroupFile group(GroupFilePath(useSection));
    int32_t last = 0;
    if (!TryStrToInt(group.Ini().ReadString("Main", "idx", {}), last) || last < 0)
        return false;
    group.SetLastIndex(last);
    return group.HasPicture();
}

const char *RunRefusalMessage(RunRefusal refusal)
{
    // In the order of RunRefusal.
    static const char *const messages[] = {
        "", "壁紙グループを選択してください。", "グループリストに無いものが入力されています。",
        "変更間隔は１０秒以上にしてね。",
        "選択した壁紙グループには画像がありません。「壁紙の設定」で画像を追加してください。"};
    return messages[static_cast<int>(refusal)];
}
