#include "service/database.h"

#include "service/catalogue_generator.h"
#include "service/service_error.h"

#include <chrono>
#include <filesystem>
#include <sqlite3.h>

namespace {

constexpr std::size_t maxConnections = 8;
// Above this many index matches, hits are found by the ordered name scan.
constexpr std::int64_t manyMatches = 4000;

[[noreturn]] void fail(sqlite3* db, const std::string& what)
{
    throw ServiceError(500, what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw ServiceError(500, std::string("database: ") + message);
    }
}

// A prepared statement that finalises itself.
class Statement
{
public:
    Statement(sqlite3* db, const std::string& sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
            SQLITE_OK)
            fail(db, "database");
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const std::string& text)
    {
        check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind(int index, std::int64_t number)
    {
        check(sqlite3_bind_int64(stmt_, index, number));
        return *this;
    }
    Statement& bind(int index, double number)
    {
        check(sqlite3_bind_double(stmt_, index, number));
        return *this;
    }

    // True while there is a row.
    bool step()
    {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail(db_, "database");
        return false;
    }
    void reset()
    {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    double real(int column) const { return sqlite3_column_double(stmt_, column); }
    std::string text(int column) const
    {
        const unsigned char* value = sqlite3_column_text(stmt_, column);
        return value ? std::string(reinterpret_cast<const char*>(value),
                                   static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                     : std::string();
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail(db_, "database");
    }

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

sqlite3* openConnection(const std::string& path, int flags)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw ServiceError(500, "cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(db, 5000);
    return db;
}

std::size_t characters(const std::string& utf8)
{
    std::size_t count = 0;
    for (unsigned char c : utf8)
        count += (c & 0xC0) != 0x80;
    return count;
}

// Raised whenever the catalogue's tables change; an older file gets new
// catalogue tables at its next start and keeps its ratings, reports and log.
constexpr int catalogueVersion = 2;

const char* catalogueSchema = R"(
CREATE TABLE folders(
    id INTEGER PRIMARY KEY,
    path TEXT NOT NULL UNIQUE);
CREATE TABLE files(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    extension TEXT NOT NULL,
    size INTEGER NOT NULL,
    value INTEGER NOT NULL,
    views INTEGER NOT NULL,
    indexed TEXT NOT NULL,
    share_url TEXT NOT NULL,
    name_length INTEGER NOT NULL,
    folder_id INTEGER NOT NULL REFERENCES folders(id));
-- Hits come in this order, so a substring scan along it can stop at the
-- first hundred hits.
CREATE INDEX files_rank ON files(name_length, views DESC, name);
CREATE INDEX files_folder ON files(folder_id, views DESC);
CREATE VIRTUAL TABLE files_fts USING fts5(
    name, content='files', content_rowid='id', tokenize='trigram');
)";

const char* schema = R"(
CREATE TABLE reviews(
    id INTEGER PRIMARY KEY,
    file_id INTEGER NOT NULL,
    score INTEGER NOT NULL,
    score_text TEXT NOT NULL,
    created TEXT NOT NULL DEFAULT (datetime('now', 'localtime')));
CREATE INDEX reviews_file ON reviews(file_id);
CREATE TABLE reports(
    id INTEGER PRIMARY KEY,
    file_id INTEGER NOT NULL,
    content TEXT NOT NULL,
    created TEXT NOT NULL DEFAULT (datetime('now', 'localtime')));
CREATE INDEX reports_file ON reports(file_id);
CREATE TABLE search_log(
    word TEXT NOT NULL,
    day TEXT NOT NULL,
    count INTEGER NOT NULL,
    PRIMARY KEY(word, day));
)";

// Creates and fills the catalogue tables, inside the caller's transaction.
void fillCatalogue(sqlite3* db, std::int64_t records)
{
    exec(db, catalogueSchema);
    CatalogueGenerator generator;
    std::map<std::string, std::int64_t> folders;
    Statement addFolder(db, "INSERT INTO folders VALUES(?1, ?2)");
    Statement insert(db, "INSERT INTO files VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    for (std::int64_t id = 1; id <= records; ++id) {
        FileRecord file = generator.record(id);
        auto [folder, added] =
            folders.emplace(file.folder, static_cast<std::int64_t>(folders.size() + 1));
        if (added) {
            addFolder.bind(1, folder->second).bind(2, folder->first);
            addFolder.step();
            addFolder.reset();
        }
        insert.bind(1, file.id).bind(2, file.name).bind(3, file.extension);
        insert.bind(4, file.size).bind(5, static_cast<std::int64_t>(file.value));
        insert.bind(6, file.views).bind(7, file.indexed).bind(8, file.shareUrl);
        insert.bind(9, static_cast<std::int64_t>(characters(file.name)));
        insert.bind(10, folder->second);
        insert.step();
        insert.reset();
    }
    exec(db, "INSERT INTO files_fts(files_fts) VALUES('rebuild')");
    exec(db, ("PRAGMA user_version=" + std::to_string(catalogueVersion)).c_str());
}

// Gives a file made by an older service the current catalogue tables, with
// as many files as it had.
void upgrade(const std::string& path)
{
    sqlite3* db = openConnection(path, SQLITE_OPEN_READWRITE);
    try {
        bool current = false;
        {
            Statement version(db, "PRAGMA user_version");
            current = version.step() && version.integer(0) >= catalogueVersion;
        }
        if (current) {
            sqlite3_close(db);
            return;
        }
        std::int64_t records = 0;
        {
            Statement count(db, "SELECT count(*) FROM files");
            records = count.step() ? count.integer(0) : 0;
        }
        exec(db, "BEGIN IMMEDIATE");
        exec(db, "DROP TABLE IF EXISTS files_fts; DROP TABLE IF EXISTS files;"
                 " DROP TABLE IF EXISTS folders");
        fillCatalogue(db, records);
        exec(db, "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

void build(const std::string& path, std::int64_t records)
{
    sqlite3* db = openConnection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    try {
        exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
        exec(db, "BEGIN");
        exec(db, schema);
        fillCatalogue(db, records);
        {
            // Yesterday's and older searches, so the hot-word bar has words
            // from the first start on.
            Statement insert(db,
                             "INSERT INTO search_log VALUES(?1, date('now', 'localtime', ?2), ?3)");
            const auto& words = CatalogueGenerator::popularWords();
            for (std::size_t i = 0; i < words.size(); ++i) {
                for (int day = 1; day <= 10; ++day) {
                    std::int64_t count = static_cast<std::int64_t>((words.size() - i) * 3 % 7 +
                                                                   (i * 7 + day * 5) % 4 + 1);
                    insert.bind(1, words[i]).bind(2, "-" + std::to_string(day) + " days");
                    insert.bind(3, count);
                    insert.step();
                    insert.reset();
                }
            }
        }
        exec(db, "COMMIT");
        exec(db, "PRAGMA journal_mode=WAL");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

// Escapes the LIKE wildcards of a term.
std::string likePattern(const std::string& term)
{
    std::string pattern = "%";
    for (char c : term) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern + "%";
}

std::string ftsPhrase(const std::string& term)
{
    std::string phrase = "\"";
    for (char c : term) {
        if (c == '"')
            phrase += '"';
        phrase += c;
    }
    return phrase + "\"";
}

const char* selectFiles = "SELECT f.id, f.name, f.extension, f.size, f.value, f.views, f.indexed,"
                          " f.share_url, d.path";

FileRecord readFile(const Statement& row)
{
    FileRecord file;
    file.id = row.integer(0);
    file.name = row.text(1);
    file.extension = row.text(2);
    file.size = row.integer(3);
    file.value = static_cast<int>(row.integer(4));
    file.views = row.integer(5);
    file.indexed = row.text(6);
    file.shareUrl = row.text(7);
    file.folder = row.text(8);
    return file;
}

// Then the files that hold the keyword only with their folder's path, most
// popular first. Only folders that hold one of the words are walked, so a
// keyword no folder holds costs one look at the few folders.
void appendFolderMatches(sqlite3* db, const std::vector<std::string>& terms, int limit,
                         std::vector<FileRecord>& files)
{
    std::string anyInFolder;
    std::string eachSomewhere;
    std::string allInName;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        const std::string p = "?" + std::to_string(i + 1);
        const std::string inFolder = "d.path LIKE " + p + " ESCAPE '\\'";
        const std::string inName = "f.name LIKE " + p + " ESCAPE '\\'";
        anyInFolder += (i ? " OR " : "") + inFolder;
        eachSomewhere += " AND (" + inFolder + " OR " + inName + ")";
        allInName += (i ? " AND " : "") + inName;
    }
    Statement query(db, std::string(selectFiles) +
                            " FROM folders d CROSS JOIN files f INDEXED BY files_folder"
                            " ON f.folder_id = d.id WHERE (" +
                            anyInFolder + ")" + eachSomewhere + " AND NOT (" + allInName +
                            ") ORDER BY f.views DESC, f.id LIMIT ?" +
                            std::to_string(terms.size() + 1));
    for (std::size_t i = 0; i < terms.size(); ++i)
        query.bind(static_cast<int>(i + 1), likePattern(terms[i]));
    query.bind(static_cast<int>(terms.size() + 1), static_cast<std::int64_t>(limit));
    while (query.step())
        files.push_back(readFile(query));
}

} // namespace

// Borrows a connection for the length of a call.
class Database::Lease
{
public:
    explicit Lease(Database& database) : database_(database), db_(database.acquire()) {}
    ~Lease() { database_.release(db_); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    sqlite3* get() const { return db_; }

private:
    Database& database_;
    sqlite3* db_;
};

Database::Database(const std::string& path, std::int64_t records) : path_(path)
{
    namespace fs = std::filesystem;
    if (!fs::exists(path)) {
        // Build beside it and move it in place, so an interrupted first
        // start leaves no half-made catalogue behind.
        std::string partial = path + ".partial";
        std::error_code ignored;
        fs::remove(partial, ignored);
        build(partial, records);
        fs::rename(partial, path);
    }
    upgrade(path);
    release(acquire()); // fails early when the file is unusable
    flusher_ = std::thread([this] { flushPeriodically(); });
}

Database::~Database()
{
    {
        std::lock_guard<std::mutex> lock(flushMutex_);
        stopping_ = true;
    }
    flushWake_.notify_all();
    flusher_.join();
    try {
        flushSearchLog();
    } catch (const std::exception&) {
        // Nothing more can be done at shutdown.
    }
    for (sqlite3* db : idle_)
        sqlite3_close(db);
}

sqlite3* Database::acquire()
{
    std::unique_lock<std::mutex> lock(mutex_);
    available_.wait(lock, [this] { return !idle_.empty() || open_ < maxConnections; });
    if (!idle_.empty()) {
        sqlite3* db = idle_.back();
        idle_.pop_back();
        return db;
    }
    ++open_;
    lock.unlock();
    try {
        sqlite3* db = openConnection(path_, SQLITE_OPEN_READWRITE);
        // The catalogue is read through a shared memory map, not through a
        // small page cache of each connection.
        exec(db, "PRAGMA synchronous=NORMAL; PRAGMA mmap_size=268435456; PRAGMA cache_size=-16000");
        return db;
    } catch (...) {
        lock.lock();
        --open_;
        available_.notify_one();
        throw;
    }
}

void Database::release(sqlite3* db)
{
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(db);
    available_.notify_one();
}

std::vector<FileRecord> Database::search(const std::vector<std::string>& terms, int limit)
{
    std::string match;
    for (const auto& term : terms) {
        if (characters(term) >= 3)
            match += (match.empty() ? "" : " ") + ftsPhrase(term);
    }

    Lease lease(*this);
    // Files named after the keyword come first, ranked by name length (the
    // shorter the name, the more of it the keyword makes up), then
    // popularity. Words of three characters or more are looked up in the
    // trigram index; but when they match many files, walking the names in
    // rank order and stopping at the hundredth hit is faster than sorting
    // them all. Both ways give the same hits.
    bool viaTrigrams = false;
    if (!match.empty()) {
        Statement count(lease.get(), "SELECT count(*) FROM (SELECT 1 FROM files_fts"
                                     " WHERE files_fts MATCH ?1 LIMIT ?2)");
        count.bind(1, match).bind(2, static_cast<std::int64_t>(manyMatches));
        viaTrigrams = count.step() && count.integer(0) < manyMatches;
    }

    std::string sql = std::string(selectFiles) + " FROM ";
    sql += viaTrigrams ? "files_fts CROSS JOIN files f ON f.id = files_fts.rowid"
                         " CROSS JOIN folders d ON d.id = f.folder_id WHERE files_fts MATCH ?1"
                       : "files f INDEXED BY files_rank CROSS JOIN folders d ON d.id = f.folder_id"
                         " WHERE 1";
    std::vector<std::string> patterns;
    for (const auto& term : terms) {
        if (viaTrigrams && characters(term) >= 3)
            continue;
        patterns.push_back(likePattern(term));
        sql += " AND f.name LIKE ?" + std::to_string(patterns.size() + 1) + " ESCAPE '\\'";
    }
    sql += " ORDER BY f.name_length, f.views DESC, f.name, f.id LIMIT ?" +
           std::to_string(patterns.size() + 2);

    std::vector<FileRecord> files;
    {
        Statement query(lease.get(), sql);
        if (viaTrigrams)
            query.bind(1, match);
        for (std::size_t i = 0; i < patterns.size(); ++i)
            query.bind(static_cast<int>(i + 2), patterns[i]);
        query.bind(static_cast<int>(patterns.size() + 2), static_cast<std::int64_t>(limit));
        while (query.step())
            files.push_back(readFile(query));
    }
    if (static_cast<int>(files.size()) < limit)
        appendFolderMatches(lease.get(), terms, limit - static_cast<int>(files.size()), files);
    return files;
}

void Database::logSearch(const std::string& word)
{
    // Counted in memory and written in batches: one write per search would
    // make concurrent searches queue for the database's write lock.
    std::lock_guard<std::mutex> lock(logMutex_);
    ++pendingSearches_[word];
}

void Database::flushSearchLog()
{
    std::map<std::string, std::int64_t> pending;
    {
        std::lock_guard<std::mutex> lock(logMutex_);
        pending.swap(pendingSearches_);
    }
    if (pending.empty())
        return;
    Lease lease(*this);
    exec(lease.get(), "BEGIN IMMEDIATE");
    try {
        Statement insert(lease.get(),
                         "INSERT INTO search_log VALUES(?1, date('now', 'localtime'), ?2)"
                         " ON CONFLICT(word, day) DO UPDATE SET count = count + ?2");
        for (const auto& [word, count] : pending) {
            insert.bind(1, word).bind(2, count);
            insert.step();
            insert.reset();
        }
        exec(lease.get(), "COMMIT");
    } catch (...) {
        sqlite3_exec(lease.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void Database::flushPeriodically()
{
    std::unique_lock<std::mutex> lock(flushMutex_);
    while (!stopping_) {
        flushWake_.wait_for(lock, std::chrono::seconds(5));
        lock.unlock();
        try {
            flushSearchLog();
        } catch (const std::exception&) {
            // Kept for the next round; the log is not worth stopping for.
        }
        lock.lock();
    }
}

std::vector<std::string> Database::hotWords(int limit)
{
    flushSearchLog();
    Lease lease(*this);
    Statement query(lease.get(),
                    "SELECT word, max(day >= date('now', 'localtime', '-6 days')) AS recent,"
                    " sum(CASE WHEN day >= date('now', 'localtime', '-6 days') THEN count END)"
                    " AS week, sum(count) AS total FROM search_log GROUP BY word"
                    " ORDER BY recent DESC, week DESC, total DESC, word LIMIT ?1");
    query.bind(1, static_cast<std::int64_t>(limit));
    std::vector<std::string> words;
    while (query.step())
        words.push_back(query.text(0));
    return words;
}

bool Database::addReview(std::int64_t fileId, int score, const std::string& scoreText)
{
    Lease lease(*this);
    Statement insert(lease.get(),
                     "INSERT INTO reviews(file_id, score, score_text)"
                     " SELECT ?1, ?2, ?3 WHERE EXISTS(SELECT 1 FROM files WHERE id = ?1)");
    insert.bind(1, fileId).bind(2, static_cast<std::int64_t>(score)).bind(3, scoreText);
    insert.step();
    return sqlite3_changes(lease.get()) > 0;
}

bool Database::addReport(std::int64_t fileId, const std::string& content)
{
    Lease lease(*this);
    Statement insert(lease.get(), "INSERT INTO reports(file_id, content)"
                                  " SELECT ?1, ?2 WHERE EXISTS(SELECT 1 FROM files WHERE id = ?1)");
    insert.bind(1, fileId).bind(2, content);
    insert.step();
    return sqlite3_changes(lease.get()) > 0;
}

std::optional<FileDetails> Database::details(std::int64_t fileId)
{
    Lease lease(*this);
    FileDetails details;
    {
        Statement query(lease.get(), std::string(selectFiles) +
                                         " FROM files f JOIN folders d ON d.id = f.folder_id"
                                         " WHERE f.id = ?1");
        query.bind(1, fileId);
        if (!query.step())
            return std::nullopt;
        details.file = readFile(query);
    }
    {
        Statement query(lease.get(), "SELECT count(*), avg(score) FROM reviews WHERE file_id = ?1");
        query.bind(1, fileId);
        if (query.step()) {
            details.ratingCount = static_cast<int>(query.integer(0));
            details.averageScore = query.real(1);
        }
    }
    {
        Statement query(lease.get(), "SELECT score, score_text, created FROM reviews"
                                     " WHERE file_id = ?1 ORDER BY id DESC LIMIT 10");
        query.bind(1, fileId);
        while (query.step())
            details.latestRatings.push_back(
                {static_cast<int>(query.integer(0)), query.text(1), query.text(2)});
    }
    {
        Statement query(lease.get(), "SELECT count(*) FROM reports WHERE file_id = ?1");
        query.bind(1, fileId);
        if (query.step())
            details.reportCount = static_cast<int>(query.integer(0));
    }
    {
        Statement query(lease.get(), "SELECT content, created FROM reports WHERE file_id = ?1"
                                     " ORDER BY id DESC LIMIT 5");
        query.bind(1, fileId);
        while (query.step())
            details.latestReports.push_back({query.text(0), query.text(1)});
    }
    return details;
}

std::int64_t Database::recordCount()
{
    Lease lease(*this);
    Statement query(lease.get(), "SELECT count(*) FROM files");
    return query.step() ? query.integer(0) : 0;
}
