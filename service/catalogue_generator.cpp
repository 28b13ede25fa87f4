#include "service/catalogue_generator.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

// splitmix64: small, fast and the same everywhere (unlike the standard
// library's distributions).
class Random
{
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform in [low, high].
    std::int64_t between(std::int64_t low, std::int64_t high)
    {
        return low + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(high - low + 1));
    }

    // Spread evenly over the orders of magnitude between low and high.
    std::int64_t logBetween(double low, double high)
    {
        double unit = static_cast<double>(next() >> 11) / 9007199254740992.0;
        return static_cast<std::int64_t>(
            std::exp(std::log(low) + unit * (std::log(high) - std::log(low))));
    }

    bool chance(int percent) { return between(1, 100) <= percent; }

    template <typename T> const T& pick(const std::vector<T>& items)
    {
        return items[static_cast<std::size_t>(next() % items.size())];
    }

private:
    std::uint64_t state_;
};

using Words = std::vector<std::string>;

const Words chineseFilms = {
    "三国演义",   "西游记",     "红楼梦",   "水浒传",     "天龙八部",
    "射雕英雄传", "甄嬛传",     "步步惊心", "让子弹飞",   "大话西游",
    "霸王别姬",   "功夫",       "无间道",   "海上钢琴师", "千与千寻",
    "龙猫",       "泰坦尼克号", "阿凡达",   "盗梦空间",   "肖申克的救赎",
    "唐山大地震", "疯狂的石头", "人在囧途", "失恋33天",   "那些年，我们一起追的女孩"};
const Words englishFilms = {
    "The.Dark.Knight",  "Inception",     "Avatar",       "Titanic",    "The.Matrix",
    "Forrest.Gump",     "The.Godfather", "Pulp.Fiction", "Fight.Club", "The.Lord.of.the.Rings",
    "Interstellar",     "The.Avengers",  "Skyfall",      "Life.of.Pi", "The.Hobbit",
    "Django.Unchained", "Les.Miserables"};
const Words series = {"生活大爆炸",      "权力的游戏",   "绝命毒师",
                      "老友记",          "越狱",         "神探夏洛克",
                      "行尸走肉",        "纸牌屋",       "The.Big.Bang.Theory",
                      "Game.of.Thrones", "Breaking.Bad", "Friends",
                      "Prison.Break",    "Sherlock",     "House.of.Cards"};
const Words singers = {"周杰伦",   "刘德华",          "王菲",         "陈奕迅",
                       "张学友",   "邓紫棋",          "林俊杰",       "五月天",
                       "Beyond",   "孙燕姿",          "Taylor Swift", "Adele",
                       "Coldplay", "Michael Jackson", "Linkin Park",  "The Beatles"};
const Words songs = {"晴天",      "七里香",           "稻香",     "十年",   "红豆",
                     "后来",      "光辉岁月",         "海阔天空", "青花瓷", "Yesterday",
                     "Hello",     "Someone Like You", "Yellow",   "Numb",   "Thriller",
                     "Let It Be", "小幸运",           "江南",     "倔强",   "泡沫"};
const Words software = {"Photoshop CS6", "Office 2010",   "Visual Studio 2012",
                        "AutoCAD 2013",  "WinRAR 4.20",   "迅雷7",
                        "QQ2013",        "MATLAB R2012b", "暴风影音5",
                        "福昕阅读器",    "360安全卫士",   "Dreamweaver CS6",
                        "Eclipse Juno",  "Python 2.7",    "Firefox 24",
                        "CorelDRAW X6",  "会声会影X6",    "Nero 12"};
const Words systems = {"Windows 7 旗舰版 SP1 64位",
                       "Windows XP SP3 专业版",
                       "Windows 8 专业版 32位",
                       "Ubuntu 12.04 LTS",
                       "CentOS 6.4",
                       "深度技术 Ghost Win7",
                       "Mac OS X 10.8",
                       "Windows Server 2008 R2"};
const Words subjects = {"高等数学",   "线性代数",          "大学物理",      "英语四级",
                        "英语六级",   "考研政治",          "C语言程序设计", "数据结构",
                        "计算机网络", "操作系统",          "Java编程思想",  "Python核心编程",
                        "算法导论",   "会计基础",          "新概念英语",    "概率论与数理统计",
                        "电路原理",   "马克思主义基本原理"};
const Words docKinds = {"教程", "习题集", "课件", "真题", "复习资料", "讲义", "笔记", "答案详解"};
const Words englishBooks = {"Learning Python",
                            "Programming Pearls",
                            "Clean Code",
                            "The Art of Computer Programming",
                            "Design Patterns",
                            "Linux Kernel Development",
                            "JavaScript The Good Parts",
                            "Effective Java",
                            "Introduction to Algorithms",
                            "Head First Java",
                            "C++ Primer",
                            "Effective C++",
                            "The C Programming Language",
                            "Code Complete",
                            "Pro Git"};
const Words games = {
    "仙剑奇侠传五", "魔兽争霸3 冰封王座", "英雄联盟",    "侠盗猎车手5",  "使命召唤8",
    "古墓丽影9",    "上古卷轴5 天际",     "暗黑破坏神3", "植物大战僵尸", "极品飞车17",
    "Minecraft",    "StarCraft II",       "Diablo III",  "DOTA2"};
const Words places = {"九寨沟",   "桂林山水", "西湖",   "黄山",     "故宫",  "长城",      "婺源",
                      "香格里拉", "Iceland",  "Norway", "Yosemite", "Kyoto", "Santorini", "Paris"};
const Words qualities = {"720p", "1080p", "BD1280", "HDTV", "DVDRip", "BluRay"};
const Words chineseTags = {"国语中字", "中英双字", "高清",      "完整版",
                           "未删减版", "超清",     "导演剪辑版"};

struct Kind
{
    const char* extension;
    double minSize;
    double maxSize;
};

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

const char* base62 = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::string shareUrl(Random& random)
{
    std::string code;
    switch (random.between(0, 3)) {
    case 0:
        for (int i = 0; i < 7; ++i)
            code += base62[random.between(0, 61)];
        return "http://pan.example.com/s/1" + code;
    case 1:
        return format("http://yun.example.net/share/link?shareid=%lld&uk=%lld",
                      static_cast<long long>(random.between(100000000, 999999999)),
                      static_cast<long long>(random.between(1000000000, 4294967295LL)));
    case 2:
        for (int i = 0; i < 16; ++i)
            code += base62[random.between(0, 15)];
        return "http://disk.example.org/file/" + code;
    default:
        for (int i = 0; i < 10; ++i)
            code += base62[random.between(0, 61)];
        return "http://www.example.com/d/" + code;
    }
}

std::string indexDate(Random& random)
{
    // Days from 2010-01-01 up to the day before the client's build date.
    static const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int day = static_cast<int>(random.between(0, 1360));
    int year = 2010;
    for (;;) {
        int length = (year % 4 == 0) ? 366 : 365;
        if (day < length)
            break;
        day -= length;
        ++year;
    }
    int month = 0;
    for (;; ++month) {
        int length = monthDays[month] + (month == 1 && year % 4 == 0 ? 1 : 0);
        if (day < length)
            break;
        day -= length;
    }
    return format("%04d-%02d-%02d", year, month + 1, day + 1);
}

void fill(FileRecord& file, Random& random, const std::string& stem, const Kind& kind)
{
    file.name = stem + "." + kind.extension;
    file.extension = kind.extension;
    file.size = random.logBetween(kind.minSize, kind.maxSize);
}

// A few fixed entries first: names with form syntax in them and a file above
// 2 GB, so every catalogue, however small, holds them.
bool fixedRecord(std::int64_t id, FileRecord& file)
{
    struct Entry
    {
        const char* name;
        const char* extension;
        std::int64_t size;
    };
    static const Entry entries[] = {
        {"C++ Primer 中文版 第5版.pdf", "pdf", 193593214},
        {"Tom & Jerry 猫和老鼠 全集.rar", "rar", 1836519424},
        {"100% 纯净 Windows 7 旗舰版 SP1 64位.iso", "iso", 3320578048LL},
        {"周杰伦 - 晴天.mp3", "mp3", 6895104},
        {"a=b+c 数学公式大全.doc", "doc", 86528},
        {"readme.txt", "txt", 517},
        {"Game.of.Thrones.S03.Complete.1080p.BluRay.mkv", "mkv", 38654705664LL},
    };
    if (id < 1 || id > static_cast<std::int64_t>(sizeof entries / sizeof entries[0]))
        return false;
    const Entry& entry = entries[id - 1];
    file.name = entry.name;
    file.extension = entry.extension;
    file.size = entry.size;
    return true;
}

} // namespace

CatalogueGenerator::CatalogueGenerator(std::uint64_t seed) : seed_(seed) {}

FileRecord CatalogueGenerator::record(std::int64_t id) const
{
    Random random(seed_ ^ (static_cast<std::uint64_t>(id) * 0xD1B54A32D192ED03ULL));
    FileRecord file;
    file.id = id;
    if (!fixedRecord(id, file)) {
        static const std::vector<Kind> videos = {
            {"mkv", 7e8, 4e10}, {"mp4", 1e8, 5e9}, {"rmvb", 2e8, 1.5e9}, {"avi", 3e8, 4e9}};
        static const std::vector<Kind> audio = {
            {"mp3", 2e6, 1.5e7}, {"flac", 1.5e7, 6e7}, {"ape", 1.5e7, 6e7}, {"wma", 2e6, 1e7}};
        static const std::vector<Kind> archives = {
            {"rar", 1e5, 2e10}, {"zip", 1e3, 5e9}, {"7z", 1e4, 3e10}};
        static const std::vector<Kind> documents = {
            {"pdf", 1e5, 2e8}, {"doc", 2e4, 2e7}, {"docx", 1e4, 2e7}, {"ppt", 1e5, 5e7},
            {"chm", 1e5, 5e7}, {"txt", 30, 3e6},  {"xls", 1e4, 1e7},  {"epub", 1e5, 2e7}};
        switch (random.between(0, 9)) {
        case 0: { // Chinese film
            std::string stem = random.pick(chineseFilms);
            if (random.chance(60))
                stem += format(".%lld", static_cast<long long>(random.between(1980, 2013)));
            stem += "." + random.pick(qualities) + "." + random.pick(chineseTags);
            fill(file, random, stem, random.pick(videos));
            break;
        }
        case 1: { // English film
            std::string stem =
                random.pick(englishFilms) +
                format(".%lld.", static_cast<long long>(random.between(1972, 2013))) +
                random.pick(qualities) + ".x264";
            fill(file, random, stem, random.pick(videos));
            break;
        }
        case 2: { // series episode or season pack
            std::string title = random.pick(series);
            std::string stem;
            if (title.find('.') != std::string::npos)
                stem = title +
                       format(".S%02lldE%02lld.", static_cast<long long>(random.between(1, 8)),
                              static_cast<long long>(random.between(1, 24))) +
                       random.pick(qualities);
            else
                stem = title +
                       format(" 第%lld季 第%lld集 ", static_cast<long long>(random.between(1, 8)),
                              static_cast<long long>(random.between(1, 24))) +
                       random.pick(chineseTags);
            fill(file, random, stem, random.pick(videos));
            if (random.chance(15)) // whole seasons come packed
                fill(file, random, title + " 全集 " + random.pick(qualities), archives[0]);
            break;
        }
        case 3: { // music
            std::string singer = random.pick(singers);
            if (random.chance(75)) {
                fill(file, random, singer + " - " + random.pick(songs), random.pick(audio));
            } else {
                std::string stem =
                    singer + format(" 专辑合集 %lld-%lld",
                                    static_cast<long long>(random.between(1990, 2005)),
                                    static_cast<long long>(random.between(2006, 2013)));
                fill(file, random, stem, random.pick(archives));
            }
            break;
        }
        case 4: { // software
            std::string stem = random.pick(software) + (random.chance(50)   ? " 绿色版"
                                                        : random.chance(50) ? " 破解版"
                                                                            : " 简体中文版");
            static const std::vector<Kind> kinds = {
                {"exe", 1e5, 3e9}, {"zip", 1e5, 2e9}, {"rar", 1e5, 2e9}};
            fill(file, random, stem, random.pick(kinds));
            break;
        }
        case 5: { // operating systems
            static const Kind iso = {"iso", 3e8, 5e9};
            fill(file, random, random.pick(systems), iso);
            break;
        }
        case 6: { // Chinese study material
            std::string stem = random.pick(subjects) + random.pick(docKinds);
            if (random.chance(40))
                stem += format(" 第%lld版", static_cast<long long>(random.between(2, 7)));
            fill(file, random, stem, random.pick(documents));
            break;
        }
        case 7: { // English books
            std::string stem = random.pick(englishBooks);
            if (random.chance(50))
                stem += format(" %lldth Edition", static_cast<long long>(random.between(4, 9)));
            static const std::vector<Kind> kinds = {
                {"pdf", 1e6, 1e8}, {"epub", 3e5, 2e7}, {"chm", 3e5, 3e7}};
            fill(file, random, stem, random.pick(kinds));
            break;
        }
        case 8: { // games
            static const std::vector<Kind> kinds = {
                {"iso", 5e8, 5e10}, {"rar", 1e7, 2e10}, {"exe", 1e6, 5e9}};
            std::string stem = random.pick(games) + (random.chance(50) ? " 硬盘版" : " 中文版");
            fill(file, random, stem, random.pick(kinds));
            break;
        }
        default: { // pictures and small files
            if (random.chance(70)) {
                std::string stem =
                    random.pick(places) +
                    format(" 风景壁纸 %lld张", static_cast<long long>(random.between(10, 500)));
                fill(file, random, stem, archives[1]);
            } else {
                static const std::vector<Kind> kinds = {
                    {"jpg", 2e4, 1e7}, {"png", 1e3, 5e6}, {"txt", 1, 4e3}, {"nfo", 100, 900}};
                std::string stem =
                    random.pick(places) +
                    format("_%04lld", static_cast<long long>(random.between(1, 9999)));
                fill(file, random, stem, random.pick(kinds));
            }
            break;
        }
        }
    }
    file.value = static_cast<int>(random.between(1, 100));
    file.views = random.logBetween(1, 500000);
    file.indexed = indexDate(random);
    file.shareUrl = shareUrl(random);
    return file;
}

const std::vector<std::string>& CatalogueGenerator::popularWords()
{
    static const std::vector<std::string> words = {
        "周杰伦",   "Windows 7",  "高等数学", "英语四级",  "权力的游戏", "Photoshop",
        "考研政治", "生活大爆炸", "Office",   "Python",    "三国演义",   "刘德华",
        "壁纸",     "1080p",      "算法导论", "仙剑奇侠传"};
    return words;
}
