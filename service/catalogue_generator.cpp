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

// Share folders hold category words only (no titles, digits or Latin
// letters), so a title search finds names and a category word finds the
// folders' files after the files named after it.
const Words shareRoots = {"我的分享", "资源分享", "网盘资源", "我的资源", "收藏夹", "共享文件"};

std::string folder(Random& random, const Words& categories)
{
    return random.pick(shareRoots) + "/" + random.pick(categories);
}

const Words animeTitles = {"火影忍者", "海贼王",   "名侦探柯南",   "死神",          "进击的巨人",
                           "龙珠",     "灌篮高手", "哆啦A梦",      "犬夜叉",        "银魂",
                           "刀剑神域", "蜡笔小新", "钢之炼金术师", "新世纪福音战士"};
const Words novels = {"斗破苍穹",     "盘龙",     "鬼吹灯", "盗墓笔记",   "诛仙",
                      "神雕侠侣",     "笑傲江湖", "鹿鼎记", "平凡的世界", "围城",
                      "明朝那些事儿", "三体",     "活着",   "追风筝的人"};
const Words documentaries = {"舌尖上的中国", "河西走廊", "故宫100", "地球脉动",
                             "蓝色星球",     "人类星球", "美丽中国"};
const Words lectures = {"哈佛公开课 幸福课", "耶鲁公开课 博弈论", "TED演讲", "网易公开课 心理学",
                        "斯坦福公开课 机器学习"};
const Words skills = {"Photoshop CS6", "Python 入门", "Excel 函数", "吉他入门",     "PPT 设计",
                      "日语五十音",    "C语言",       "摄影后期",   "AutoCAD 2013", "素描基础"};

// A few fixed entries first: names with form syntax in them and a file above
// 2 GB, so every catalogue, however small, holds them.
bool fixedRecord(std::int64_t id, FileRecord& file)
{
    struct Entry
    {
        const char* folder;
        const char* name;
        const char* extension;
        std::int64_t size;
    };
    static const Entry entries[] = {
        {"我的分享/电子书/编程", "C++ Primer 中文版 第5版.pdf", "pdf", 193593214},
        {"资源分享/动漫/欧美动画", "Tom & Jerry 猫和老鼠 全集.rar", "rar", 1836519424},
        {"网盘资源/系统/系统镜像", "100% 纯净 Windows 7 旗舰版 SP1 64位.iso", "iso", 3320578048LL},
        {"我的资源/音乐/华语流行", "周杰伦 - 晴天.mp3", "mp3", 6895104},
        {"我的分享/教程/学习资料", "a=b+c 数学公式大全.doc", "doc", 86528},
        {"共享文件/软件/常用软件", "readme.txt", "txt", 517},
        {"资源分享/美剧/英文原版", "Game.of.Thrones.S03.Complete.1080p.BluRay.mkv", "mkv",
         38654705664LL},
    };
    if (id < 1 || id > static_cast<std::int64_t>(sizeof entries / sizeof entries[0]))
        return false;
    const Entry& entry = entries[id - 1];
    file.folder = entry.folder;
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
        static const std::vector<Kind> episodes = {
            {"mkv", 2e8, 2e9}, {"mp4", 5e7, 6e8}, {"rmvb", 1e8, 4e8}, {"flv", 3e7, 3e8}};
        static const std::vector<Kind> audio = {
            {"mp3", 2e6, 1.5e7}, {"flac", 1.5e7, 6e7}, {"ape", 1.5e7, 6e7}, {"wma", 2e6, 1e7}};
        static const std::vector<Kind> archives = {
            {"rar", 1e5, 2e10}, {"zip", 1e3, 5e9}, {"7z", 1e4, 3e10}};
        static const std::vector<Kind> documents = {
            {"pdf", 1e5, 2e8}, {"doc", 2e4, 2e7}, {"docx", 1e4, 2e7}, {"ppt", 1e5, 5e7},
            {"chm", 1e5, 5e7}, {"txt", 30, 3e6},  {"xls", 1e4, 1e7},  {"epub", 1e5, 2e7}};
        switch (random.between(0, 14)) {
        case 0: { // Chinese film
            file.folder = folder(random, {"电影/华语电影", "电影/经典电影", "视频/电影"});
            std::string stem = random.pick(chineseFilms);
            if (random.chance(60))
                stem += format(".%lld", static_cast<long long>(random.between(1980, 2013)));
            stem += "." + random.pick(qualities) + "." + random.pick(chineseTags);
            if (random.chance(20))
                stem += random.chance(50) ? " 高清电影" : " 电影原声";
            fill(file, random, stem, random.pick(videos));
            break;
        }
        case 1: { // English film
            file.folder = folder(random, {"电影/欧美电影", "电影/高清电影", "电影/奥斯卡获奖电影"});
            std::string stem =
                random.pick(englishFilms) +
                format(".%lld.", static_cast<long long>(random.between(1972, 2013))) +
                random.pick(qualities) + ".x264";
            if (random.chance(15))
                stem += " 电影 中英字幕";
            fill(file, random, stem, random.pick(videos));
            break;
        }
        case 2: { // series episode or season pack
            file.folder = folder(random, {"美剧/热门美剧", "美剧/英文原版", "视频/美剧"});
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
            fill(file, random, stem, random.pick(episodes));
            if (random.chance(15)) // whole seasons come packed
                fill(file, random, title + " 全集 美剧 " + random.pick(qualities), archives[0]);
            break;
        }
        case 3: { // music
            file.folder = folder(random, {"音乐/华语流行", "音乐/欧美音乐", "音乐/无损音乐"});
            std::string singer = random.pick(singers);
            if (random.chance(75)) {
                fill(file, random, singer + " - " + random.pick(songs), random.pick(audio));
            } else {
                std::string stem =
                    singer + (random.chance(50) ? " 专辑合集 " : " 音乐合集 ") +
                    format("%lld-%lld", static_cast<long long>(random.between(1990, 2005)),
                           static_cast<long long>(random.between(2006, 2013)));
                fill(file, random, stem, random.pick(archives));
            }
            break;
        }
        case 4: { // software
            file.folder = folder(random, {"软件/常用软件", "软件/绿色软件", "软件/办公软件"});
            static const Words editions = {" 绿色版", " 破解版", " 简体中文版", " 绿色软件",
                                           " 软件安装包"};
            std::string stem = random.pick(software) + random.pick(editions);
            static const std::vector<Kind> kinds = {
                {"exe", 1e5, 3e9}, {"zip", 1e5, 2e9}, {"rar", 1e5, 2e9}};
            fill(file, random, stem, random.pick(kinds));
            break;
        }
        case 5: { // operating systems
            file.folder = folder(random, {"系统/系统镜像", "软件/操作系统"});
            static const Kind iso = {"iso", 3e8, 5e9};
            fill(file, random, random.pick(systems), iso);
            break;
        }
        case 6: { // Chinese study material
            file.folder = folder(random, {"学习资料/考试", "教程/学习资料", "电子书/教材"});
            std::string stem = random.pick(subjects) + random.pick(docKinds);
            if (random.chance(40))
                stem += format(" 第%lld版", static_cast<long long>(random.between(2, 7)));
            fill(file, random, stem, random.pick(documents));
            break;
        }
        case 7: { // English books
            file.folder = folder(random, {"电子书/编程", "电子书/外文原版"});
            std::string stem = random.pick(englishBooks);
            if (random.chance(50))
                stem += format(" %lldth Edition", static_cast<long long>(random.between(4, 9)));
            if (random.chance(20))
                stem += " 中文电子书";
            static const std::vector<Kind> kinds = {
                {"pdf", 1e6, 1e8}, {"epub", 3e5, 2e7}, {"chm", 3e5, 3e7}};
            fill(file, random, stem, random.pick(kinds));
            break;
        }
        case 8: { // games
            file.folder = folder(random, {"游戏/单机游戏", "游戏/经典游戏", "游戏/网络游戏"});
            static const std::vector<Kind> kinds = {
                {"iso", 5e8, 5e10}, {"rar", 1e7, 2e10}, {"exe", 1e6, 5e9}};
            static const Words editions = {" 硬盘版", " 中文版", " 游戏安装包", " 单机游戏"};
            fill(file, random, random.pick(games) + random.pick(editions), random.pick(kinds));
            break;
        }
        case 9: { // pictures and small files
            file.folder = folder(random, {"图片/壁纸", "壁纸/风景", "图片/摄影"});
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
        case 10: { // anime
            file.folder = folder(random, {"动漫/日本动漫", "动漫/经典动漫", "视频/动漫"});
            std::string title = random.pick(animeTitles);
            if (random.chance(80)) {
                std::string stem =
                    title + format(" 第%lld集 ", static_cast<long long>(random.between(1, 720))) +
                    (random.chance(50) ? "高清" : "中文字幕");
                fill(file, random, stem, random.pick(episodes));
            } else {
                fill(file, random, title + (random.chance(50) ? " 动漫全集" : " 剧场版 合集"),
                     archives[0]);
            }
            break;
        }
        case 11: { // novels
            file.folder = folder(random, {"小说/武侠小说", "小说/网络小说", "电子书/小说"});
            static const Words editions = {" 全集", " 完整版", " 精校版", " 全本小说", " 小说"};
            static const std::vector<Kind> kinds = {
                {"txt", 2e5, 2e7}, {"epub", 3e5, 1e7}, {"mobi", 3e5, 1e7}, {"pdf", 1e6, 5e7}};
            fill(file, random, random.pick(novels) + random.pick(editions), random.pick(kinds));
            break;
        }
        case 12: { // documentaries, lectures and clips
            file.folder = folder(random, {"视频/纪录片", "视频/公开课", "视频/高清视频"});
            std::string stem =
                random.chance(50)
                    ? random.pick(documentaries) +
                          format(" 第%lld集", static_cast<long long>(random.between(1, 12)))
                    : random.pick(lectures) +
                          format(" 第%lld讲", static_cast<long long>(random.between(1, 24)));
            if (random.chance(30))
                stem += " 高清视频";
            fill(file, random, stem, random.pick(episodes));
            break;
        }
        case 13: { // torrents
            file.folder = folder(random, {"种子/电影种子", "种子/美剧种子", "种子/高清种子"});
            std::string title = random.chance(50) ? random.pick(englishFilms) : random.pick(series);
            std::string stem = title + "." + random.pick(qualities);
            if (random.chance(40))
                stem += " 种子";
            static const Kind torrent = {"torrent", 1e4, 5e5};
            fill(file, random, stem, torrent);
            break;
        }
        default: { // tutorials
            file.folder = folder(random, {"教程/设计教程", "教程/编程教程", "视频/教程"});
            std::string stem =
                random.pick(skills) +
                (random.chance(50)
                     ? format(" 视频教程 第%lld课", static_cast<long long>(random.between(1, 40)))
                     : std::string(" 教程"));
            static const std::vector<Kind> kinds = {
                {"mp4", 2e7, 5e8}, {"pdf", 3e5, 5e7}, {"rar", 1e7, 3e9}, {"flv", 1e7, 2e8}};
            fill(file, random, stem, random.pick(kinds));
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
        "电影",       "周杰伦", "美剧",     "动漫",      "Windows 7", "小说", "高等数学", "教程",
        "权力的游戏", "音乐",   "英语四级", "Photoshop", "海贼王",    "软件", "三体",     "游戏"};
    return words;
}
