#pragma once

#include "service/file_record.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct sqlite3;

// What the detail page shows of a file besides its record.
struct FileDetails
{
    struct Rating
    {
        int score = 0;
        std::string scoreText;
        std::string created;
    };
    struct Report
    {
        std::string content;
        std::string created;
    };

    FileRecord file;
    int ratingCount = 0;
    double averageScore = 0;
    std::vector<Rating> latestRatings;
    int reportCount = 0;
    std::vector<Report> latestReports;
};

// The service's SQLite file: the catalogue with its trigram full-text index,
// the ratings, the reports and the search log. Safe to use from the
// server's worker threads: each call borrows one of a few connections.
// Failures raise ServiceError (500).
class Database
{
public:
    // Opens the file at `path`; when it does not exist, builds it first with
    // `records` generated files and a seeded search log. A file of an older
    // service gets the current catalogue, keeping everything else.
    Database(const std::string& path, std::int64_t records);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Files whose names contain every term (UTF-8), best first, then files
    // whose share folder holds the terms the name lacks, most popular first.
    // Name terms of three characters or more use the full-text index,
    // shorter ones a substring scan.
    std::vector<FileRecord> search(const std::vector<std::string>& terms, int limit);
    // Counts a search; the count reaches the file within a few seconds,
    // before the next hotWords() and at the latest when the service stops.
    void logSearch(const std::string& word);
    // The most searched words of the last seven days, topped up from older
    // days when the last week has fewer.
    std::vector<std::string> hotWords(int limit);

    // False when there is no such file.
    bool addReview(std::int64_t fileId, int score, const std::string& scoreText);
    bool addReport(std::int64_t fileId, const std::string& content);
    std::optional<FileDetails> details(std::int64_t fileId);
    std::int64_t recordCount();

private:
    class Lease;
    sqlite3* acquire();
    void release(sqlite3* db);
    void flushSearchLog();
    void flushPeriodically();

    std::string path_;
    std::mutex mutex_;
    std::condition_variable available_;
    std::vector<sqlite3*> idle_;
    std::size_t open_ = 0;

    std::mutex logMutex_;
    std::map<std::string, std::int64_t> pendingSearches_;
    std::mutex flushMutex_;
    std::condition_variable flushWake_;
    bool stopping_ = false;
    std::thread flusher_;
};
