#include "listedit/WallPaperList.h"

#include "ini/IniReader.h"
#include "ini/IniStore.h"
#include "ini/TextLines.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/IntConvert.h"
#include "platform/TileMode.h"

void WriteWallPaperList(std::string_view path, const WallPaperList &list)
{
    // Linux file names may hold CR, LF or Ctrl-Z; written out they would end the line or the file and
    // lose the rest of the group at the next read, so such a list is refused before anything is
    // touched.
    for (const WallPaperEntry &e : list) {
        for (const std::string *field : {&e.PicturePath, &e.PositionText, &e.CorrectionText}) {
            if (field->find_first_of("\r\n\x1A") != std::string::npos)
                throw EInOutError(FormatMessage("改行または Ctrl-Z を含む項目はリストに保存できません: %s",
                                                {Cp932ToUtf8Lossy(*field)}));
        }
    }
    std::string image;
    image.reserve(32 + list.size() * 64);
    // An empty group is written too ("Idx=-1", no entries): the editor says it saved the file, so
    // the file is there, and the schedule refuses the group for having no pictures.
    image.append("[Main]\r\nIdx=").append(std::to_string(static_cast<long long>(list.size()) - 1)).append("\r\n");
    for (size_t k = 0; k < list.size(); ++k) {
        const WallPaperEntry &e = list[k];
        image.append("file").append(std::to_string(k)).append("=");
        image.append(e.PicturePath).append(",");
        image.append(e.PositionText).append(",");
        image.append(e.CorrectionText).append(",\r\n");
    }
    ReplaceFileAtomically(path, image);
}

WallPaperList ReadWallPaperList(std::string_view path)
{
    const std::string data = ReadWholeFile(path);
    WallPaperList list;
    size_t lineNumber = 0;
    TextLines lines(data);
    std::string_view line;
    while (lines.Next(line)) {
        // The header and the Idx line are not used: entries are ordered by their lines.
        if (lineNumber++ < 2)
            continue;
        size_t eq = line.find('=');
        list.push_back(SplitEntryValue(eq == std::string_view::npos ? line : line.substr(eq + 1)));
    }
    return list;
}

std::string EntryKey(int32_t k)
{
    return "file" + std::to_string(k);
}

int32_t ReadLastIndex(TIniStore &ini)
{
    return StrToInt(ini.ReadString("Main", "idx", {}));
}

WallPaperEntry ReadWallPaperEntry(TIniStore &ini, int32_t k)
{
    return SplitEntryValue(ini.ReadString("Main", EntryKey(k), {}));
}

int32_t ReadLastIndex(TIniReader &ini)
{
    return StrToInt(ini.ReadString("Main", "idx", {}));
}

WallPaperEntry ReadWallPaperEntry(TIniReader &ini, int32_t k)
{
    return SplitEntryValue(ini.ReadString("Main", EntryKey(k), {}));
}

WallPaperEntry SplitEntryValue(std::string_view value)
{
    // Each field ends at its comma; a missing comma leaves that field and the later ones empty.
    WallPaperEntry entry;
    std::string *fields[] = {&entry.PicturePath, &entry.PositionText, &entry.CorrectionText};
    for (std::string *field : fields) {
        size_t comma = value.find(',');
        if (comma == std::string_view::npos)
            break;
        field->assign(value.substr(0, comma));
        value.remove_prefix(comma + 1);
    }
    return entry;
}

TileMode DecodeTileValue(std::string_view positionText)
{
    if (positionText == kPositionTile)
        return TileMode::Tile;
    if (positionText == kPositionEnlarge)
        return TileMode::Stretch;
    return TileMode::Centre;
}

int32_t DecodeCorrection(std::string_view correctionText)
{
    if (correctionText.empty())
        return -1;
    if (correctionText == kCorrectionAuto)
        return 0;
    size_t percent = correctionText.find('%');
    int32_t value = 0;
    // The message names the whole text: the part before '%' alone may be empty.
    if (percent == std::string_view::npos || !TryStrToInt(correctionText.substr(0, percent), value))
        throw EConvertError::NotAnInteger(std::string(correctionText));
    return value;
}
