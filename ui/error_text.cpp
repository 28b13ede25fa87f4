#include "ui/error_text.h"

#include "net/http_cli.h"
#include "skin/skin_file_error.h"
#include "util/util_error.h"

namespace {

QString withDetail(const QString& what, const std::string& detail)
{
    return what + QStringLiteral("：") + QString::fromStdString(detail);
}

QString utilText(const UtilError& e)
{
    switch (e.What()) {
    case UtilError::CannotRead:
        return withDetail(QStringLiteral("无法读取文件“%1”").arg(e.Path()), e.Detail());
    case UtilError::CannotWrite:
        return withDetail(QStringLiteral("无法写入文件“%1”").arg(e.Path()), e.Detail());
    case UtilError::BadText:
        break;
    }
    return e.Path().isEmpty()
               ? withDetail(QStringLiteral("数据无法识别"), e.Detail())
               : withDetail(QStringLiteral("文件“%1”的内容无法识别").arg(e.Path()), e.Detail());
}

QString skinFileText(const SkinFileError& e)
{
    const QString file = e.Path().isEmpty() ? QString() : QStringLiteral("“%1”").arg(e.Path());
    switch (e.What()) {
    case SkinFileError::CannotOpen:
        return withDetail(QStringLiteral("无法打开皮肤文件") + file, e.Detail());
    case SkinFileError::NotSkinFile:
        return withDetail(file + QStringLiteral("不是有效的皮肤文件"), e.Detail());
    case SkinFileError::NotPicture:
        break;
    }
    return withDetail(QStringLiteral("无法显示图片") + file, e.Detail());
}

// The HTTP client's refusals keep their own message and code; the user reads
// what it means for him, with that message as the detail.
QString httpText(const EHttpException& e)
{
    if (e.Code() == THttpCli::httperrBusy)
        return withDetail(QStringLiteral("上一个网络请求尚未完成，请稍后再试"), e.what());
    return withDetail(QStringLiteral("无法发出网络请求"), e.what());
}

} // namespace

QString ErrorText(const std::exception& error)
{
    if (const auto* e = dynamic_cast<const UtilError*>(&error))
        return utilText(*e);
    if (const auto* e = dynamic_cast<const SkinFileError*>(&error))
        return skinFileText(*e);
    if (const auto* e = dynamic_cast<const EHttpException*>(&error))
        return httpText(*e);
    // The window layer's own errors and the skin descriptions' errors are
    // composed in Chinese where they are raised.
    return QString::fromUtf8(error.what());
}
