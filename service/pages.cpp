#include "service/pages.h"

#include <cstdio>

namespace Pages {
namespace {

const char* style = R"(<style>
body { font: 14px/1.6 "Microsoft YaHei", "WenQuanYi Micro Hei", sans-serif; margin: 16px 24px;
       color: #333; }
h1 { font-size: 20px; word-break: break-all; }
h2 { font-size: 16px; border-bottom: 1px solid #ddd; margin-top: 24px; }
table.info th { text-align: right; padding-right: 12px; color: #777; font-weight: normal; }
code { word-break: break-all; }
.ad { margin-top: 24px; padding: 8px; background: #fff8e0; border: 1px solid #f0d080; }
</style>)";

std::string page(const std::string& title, const std::string& head, const std::string& body)
{
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           htmlEscape(title) + "</title>\n" + style + "\n" + head + "</head>\n<body>\n" + body +
           "</body>\n</html>\n";
}

std::string row(const char* label, const std::string& html)
{
    return std::string("<tr><th>") + label + "</th><td>" + html + "</td></tr>\n";
}

// Report texts keep their line breaks.
std::string multiline(const std::string& text)
{
    std::string html;
    std::string escaped = htmlEscape(text);
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\r' && i + 1 < escaped.size() && escaped[i + 1] == '\n')
            continue;
        html += escaped[i] == '\n' ? std::string("<br>") : std::string(1, escaped[i]);
    }
    return html;
}

} // namespace

std::string detailPage(const FileDetails& details)
{
    const FileRecord& file = details.file;
    std::string head = std::string("<script>\n"
                                   "window.addEventListener('load', function () {\n"
                                   "    window.open('") +
                       popupPath +
                       "?from=script', '_blank', 'width=400,height=300');\n"
                       "});\n</script>\n";

    std::string body = "<h1 id=\"file-name\">" + htmlEscape(file.name) + "</h1>\n";
    body += "<table class=\"info\">\n";
    body += row("所在目录", "<code id=\"folder\">/" + htmlEscape(file.folder) + "/</code>");
    body += row("文件类型", htmlEscape(file.extension) + "文件");
    body += row("文件大小", formatSize(file.size) + "（" + std::to_string(file.size) + " 字节）");
    body += row("价值指数", std::to_string(file.value));
    body += row("人气指数", std::to_string(file.views));
    body += row("收录时间", htmlEscape(file.indexed));
    body += row("文件地址", "<code id=\"share-url\">" + htmlEscape(file.shareUrl) + "</code>");
    body += row("文件ID", std::to_string(file.id));
    body += "</table>\n";

    body += "<h2>用户评分</h2>\n";
    if (details.ratingCount == 0) {
        body += "<p id=\"rating-summary\">暂无评分</p>\n";
    } else {
        char average[32];
        std::snprintf(average, sizeof average, "%.1f", details.averageScore);
        body += "<p id=\"rating-summary\">共 " + std::to_string(details.ratingCount) +
                " 人评分，平均 " + average + " 分</p>\n<ul id=\"ratings\">\n";
        for (const auto& rating : details.latestRatings)
            body += "<li>" + htmlEscape(rating.created) + " " + htmlEscape(rating.scoreText) +
                    "</li>\n";
        body += "</ul>\n";
    }

    body += "<h2>举报记录</h2>\n";
    if (details.reportCount == 0) {
        body += "<p id=\"report-summary\">暂无举报</p>\n";
    } else {
        body += "<p id=\"report-summary\">共 " + std::to_string(details.reportCount) +
                " 次举报，正在处理</p>\n<ul id=\"reports\">\n";
        for (const auto& report : details.latestReports)
            body +=
                "<li>" + htmlEscape(report.created) + "：" + multiline(report.content) + "</li>\n";
        body += "</ul>\n";
    }

    body += std::string("<p class=\"ad\"><a href=\"") + popupPath +
            "?from=link\" target=\"_blank\">热门推荐：更多精彩资源，点击查看</a></p>\n";
    return page(file.name + " - Lumo网盘搜索", head, body);
}

std::string forumPage()
{
    std::string body = "<h1>Lumo网盘搜索 - 意见反馈</h1>\n"
                       "<p>欢迎在这里提出您对 Lumo网盘搜索 的意见和建议，"
                       "也可以报告搜索结果中的失效链接或不良内容。</p>\n"
                       "<h2>置顶帖子</h2>\n<ul>\n"
                       "<li>【公告】Lumo网盘搜索客户端 1.5 发布，新增皮肤管理</li>\n"
                       "<li>【必读】反馈问题前请先阅读：如何描述您遇到的问题</li>\n"
                       "<li>【举报】失效链接与侵权内容举报专帖</li>\n"
                       "</ul>\n<h2>最新反馈</h2>\n<ul>\n"
                       "<li>搜索结果能不能按文件大小排序？</li>\n"
                       "<li>希望增加更多皮肤</li>\n"
                       "<li>预览窗口打开很快，赞一个</li>\n"
                       "</ul>\n";
    return page("意见反馈 - Lumo网盘搜索", "", body);
}

std::string popupPage()
{
    return page("推荐资源", "", "<h1>推荐资源</h1>\n<p>这是一个弹出广告页面。</p>\n");
}

std::string errorPage(int status, const std::string& message)
{
    return page(std::to_string(status) + " " + message, "",
                "<h1>" + std::to_string(status) + " " + htmlEscape(message) + "</h1>\n");
}

std::string htmlEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string formatSize(std::int64_t size)
{
    char text[64];
    if (size / 1073741824 > 0)
        std::snprintf(text, sizeof text, "%.2fGB", static_cast<double>(size) / 1073741824.0);
    else if (size / 1048576 > 0)
        std::snprintf(text, sizeof text, "%.2fMB", static_cast<double>(size) / 1048576.0);
    else if (size / 1024 > 0)
        std::snprintf(text, sizeof text, "%.2fKB", static_cast<double>(size) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%lldB", static_cast<long long>(size));
    return text;
}

} // namespace Pages
