// Parses a generated search reply of 10,000 hits with our reader, RapidJSON
// and nlohmann::json in the same run and prints their throughput and the
// ratios. json_bench_portable is the same with the reader on its portable
// string scan. Usage: json_bench [repetitions]
#include "json/json_parser.h"
#include "json/uJson.h"
#include "util/gbk.h"

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A reply the way the service writes it: GBK text, raw Chinese names,
// escaped slashes in URLs, sizes and counts as numbers or digit strings.
QByteArray searchReply(int hits)
{
    const QString hanzi = QStringLiteral(
        "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工"
        "也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物"
        "现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全"
        "表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无"
        "系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基"
        "资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取"
        "据处队南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权"
        "收证改清己美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离"
        "华名确才科张信马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低"
        "持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列习响约支般史感劳便团往酸历"
        "市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派层片始却"
        "专状育厂京识适属圆包火住调满县局照参红细引听该铁价严网盘搜索资源电影音乐软件文档");
    const char* types[] = {"rar", "zip", "txt", "pdf", "mp4", "mp3", "exe", "doc", "7z", "iso"};
    QRandomGenerator random(20130924);
    QString text;
    text.reserve(hits * 200);
    text += QLatin1Char('[');
    for (int i = 0; i < hits; ++i) {
        QString name;
        const int length = int(random.bounded(8, 40));
        for (int c = 0; c < length; ++c)
            name += hanzi.at(int(random.bounded(int(hanzi.size()))));
        const char* type = types[random.bounded(int(std::size(types)))];
        if (i)
            text += QLatin1Char(',');
        text += QStringLiteral("{\"file_name\":\"%1.%2\",\"file_extension\":\"%2\","
                               "\"file_size\":%3,\"file_value\":\"%4\",\"file_views\":%5,"
                               "\"file_time\":\"2013-%6-%7 %8:%9:00\","
                               "\"s_url\":\"http:\\/\\/pan.baidu.com\\/share\\/link?shareid=%10"
                               "&uk=%11\",\"file_id\":%12,\"file_score\":%13.%14}")
                    .arg(name, QLatin1String(type))
                    .arg(random.bounded(1, 2000000000))
                    .arg(random.bounded(100))
                    .arg(random.bounded(100000))
                    .arg(random.bounded(1, 13), 2, 10, QLatin1Char('0'))
                    .arg(random.bounded(1, 29), 2, 10, QLatin1Char('0'))
                    .arg(random.bounded(24), 2, 10, QLatin1Char('0'))
                    .arg(random.bounded(60), 2, 10, QLatin1Char('0'))
                    .arg(random.bounded(1000000000))
                    .arg(random.bounded(1000000000))
                    .arg(1000000 + i)
                    .arg(random.bounded(10))
                    .arg(random.bounded(10));
    }
    text += QLatin1Char(']');
    return Gbk::fromUnicode(text);
}

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

struct Result
{
    const char* name;
    std::vector<double> times;
    double best() const { return *std::min_element(times.begin(), times.end()); }
    double median() const
    {
        std::vector<double> t = times;
        std::sort(t.begin(), t.end());
        return t[t.size() / 2];
    }
};

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int hits = 10000;

    const QByteArray gbk = searchReply(hits);
    const QString text = Gbk::toUnicode(gbk); // what the client hands the reader
    const std::string utf8 = text.toStdString();
    const double megabytes = double(text.size()) * 2 / 1e6;
    std::printf("search reply: %d hits, %.2f MB GBK, %.2f MB UTF-16, %.2f MB UTF-8\n", hits,
                gbk.size() / 1e6, megabytes, utf8.size() / 1e6);
    std::printf("lumo_json string scan: %s\n", JsonParser::stringScan());

    Result ours{"lumo_json", {}};
    Result rapid{"RapidJSON", {}};
    Result nlohmannResult{"nlohmann::json", {}};
    for (int r = 0; r < repetitions; ++r) {
        {
            const auto t0 = Clock::now();
            const IJsonValue value = ParseJson(text);
            const auto t1 = Clock::now();
            if (Length(ArrayOf(value)) != hits) {
                std::fprintf(stderr, "lumo_json failed to read the reply\n");
                return 1;
            }
            ours.times.push_back(seconds(t1 - t0));
        }
        {
            using Document = rapidjson::GenericDocument<rapidjson::UTF16<char16_t>>;
            Document document;
            const auto t0 = Clock::now();
            document.Parse<rapidjson::kParseCommentsFlag>(
                reinterpret_cast<const char16_t*>(text.utf16()));
            const auto t1 = Clock::now();
            if (document.HasParseError() || !document.IsArray() || document.Size() != hits) {
                std::fprintf(stderr, "RapidJSON failed to read the reply\n");
                return 1;
            }
            rapid.times.push_back(seconds(t1 - t0));
        }
        {
            const auto t0 = Clock::now();
            const nlohmann::json document =
                nlohmann::json::parse(utf8.begin(), utf8.end(), nullptr, false, true);
            const auto t1 = Clock::now();
            if (!document.is_array() || document.size() != std::size_t(hits)) {
                std::fprintf(stderr, "nlohmann::json failed to read the reply\n");
                return 1;
            }
            nlohmannResult.times.push_back(seconds(t1 - t0));
        }
    }

    std::printf("%d repetitions; MB/s of the UTF-16 reply (%.2f MB)\n", repetitions, megabytes);
    for (const Result* r : {&ours, &rapid, &nlohmannResult}) {
        std::printf("  %-15s %8.1f MB/s  (best %8.1f MB/s, median %.2f ms)\n", r->name,
                    megabytes / r->median(), megabytes / r->best(), r->median() * 1e3);
    }
    // The machine may be shared: the best of the runs is the least disturbed
    // figure, the median shows the spread.
    const double vsRapid = rapid.best() / ours.best();
    const double vsNlohmann = nlohmannResult.best() / ours.best();
    std::printf(
        "ratio lumo_json / RapidJSON:      %.2fx best, %.2fx median  (target >= 0.70x) %s\n",
        vsRapid, rapid.median() / ours.median(), vsRapid >= 0.7 ? "ok" : "MISSED");
    std::printf(
        "ratio lumo_json / nlohmann::json: %.2fx best, %.2fx median  (target >= 2.00x) %s\n",
        vsNlohmann, nlohmannResult.median() / ours.median(), vsNlohmann >= 2.0 ? "ok" : "MISSED");
    return 0;
}
