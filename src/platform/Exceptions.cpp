#include "platform/Exceptions.h"

#include "platform/Encoding.h"

#include <new>

#include <cerrno>

EConvertError EConvertError::NotAnInteger(const std::string &cp932Text)
{
    return EConvertError(FormatMessage("'%s' は整数ではありません", {Cp932ToUtf8Lossy(cp932Text)}));
}

std::string ErrorMessage(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception &e) {
        return e.Message();
    } catch (const std::bad_alloc &) {
        return "メモリが不足しています。";
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "不明なエラーが発生しました。";
    }
}

std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string out;
    out.reserve(pattern.size() + 64);
    auto arg = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && arg != args.end()) {
            out.append(*arg++);
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

std::string ErrnoText(int err)
{
    switch (err) {
    case ENOSPC:
        return "ディスクに空きがありません";
    case EDQUOT:
        return "ディスクの使用量が上限 (クォータ) に達しました";
    case EACCES:
        return "アクセス権がありません";
    case EPERM:
        return "操作が許可されていません";
    case ENOENT:
        return "ファイルまたはフォルダーがありません";
    case EROFS:
        return "読み取り専用のファイル システムです";
    case EISDIR:
        return "フォルダーです";
    case ENOTDIR:
        return "パスの途中にフォルダーではないものがあります";
    case EIO:
        return "入出力エラーが起きました";
    case ENAMETOOLONG:
        return "名前が長すぎます";
    case EMFILE:
    case ENFILE:
        return "開いているファイルが多すぎます";
    case EFBIG:
        return "ファイルが大きすぎます";
    case ENOMEM:
        return "メモリが足りません";
    case EEXIST:
        return "同じ名前のものがすでにあります";
    case ELOOP:
        return "シンボリック リンクが多すぎるか循環しています";
    case EBUSY:
    case ETXTBSY:
        return "使用中です";
    case EXDEV:
        return "別のファイル システムをまたいでいます";
    case ENOTEMPTY:
        return "フォルダーが空ではありません";
    case ESTALE:
        return "ネットワーク上のファイルが無効になりました";
    case EAGAIN:
        return "一時的に使用できません";
    case EINTR:
        return "中断されました";
    case EPIPE:
    case ECONNRESET:
        return "接続が切れました";
    case ECONNREFUSED:
        return "接続を拒否されました";
    case ETIMEDOUT:
        return "時間切れです";
    case ENXIO:
    case ENODEV:
        return "デバイスがありません";
    case EINVAL:
        return "引数が正しくありません";
    default:
        return "システム エラー (errno " + std::to_string(err) + ")";
    }
}
