// The conversions of a batch, one at a time or several at once in helper
// processes. Either way the observer hears of each file in the order the
// files were added, and each target takes its name in that order, in this
// process: a run with helpers names and reports exactly as a run without.
// Targets reach the disk in groups, one sync for many files.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "pipeline/driver.h"
#include "pipeline/registry.h"

namespace verbatra {

class BatchObserver;

class ConversionQueue {
public:
    // Up to `jobs` conversions at once, in helper processes where the
    // system can; with none, files convert here one at a time.
    ConversionQueue(const FormatEntry* source, const FormatEntry& target, int jobs, BatchObserver& observer);
    // Says how many files are coming, before the first: helpers start only
    // for files enough to share among them.
    void expect(std::size_t files);
    static constexpr std::size_t kFilesPerHelper = 2;
    // Without finish() (a fatal stop): the helpers are told to stop, and
    // every target not yet reported is removed.
    ~ConversionQueue();
    ConversionQueue(const ConversionQueue&) = delete;
    ConversionQueue& operator=(const ConversionQueue&) = delete;

    void add(const ConversionRequest& request, const std::string& shown);
    // A file whose outcome is known without converting it, reported in its turn.
    void add_done(const std::string& shown, const ConversionResult& result);
    void finish();

    // Targets go to folders no pattern walks (an output folder): the
    // leftovers of ended runs are looked for there, once a folder.
    void clean_target_folders() { clean_targets_ = true; }

    // The number of helpers running (0: converting here).
    int helpers() const;

private:
    struct Pending {
        std::string shown;
        ConversionRequest request;
        bool done = false;
        std::chrono::steady_clock::time_point done_at{};
        ConversionResult result;
    };
    struct Helper;

    // Reports the files done at the head of the queue, their targets put
    // on the disk with one sync and named in order: once enough are done,
    // or they have waited long enough, or with `all`.
    void report_ready(bool all = false);
    static void done_with(Pending& p, ConversionResult result);
    void add_file(const ConversionRequest& request, const std::string& shown);
    void wait_for_all();
    void remove_leftovers_in(const std::string& folder);
    // Waits for one answer from any helper; a fatal stop of a helper stops
    // the run here.
    void collect_one();
    void send(Helper& helper, std::size_t index);
    bool start_helper(Helper& helper);

    const FormatEntry* source_;
    const FormatEntry& target_;
    BatchObserver& observer_;
    int jobs_ = 1;
    std::vector<Helper> helpers_;
    std::deque<Pending> pending_;  // added and not yet reported, in order
    bool clean_targets_ = false;
    std::unordered_set<std::string> cleaned_;  // target folders looked at
    std::size_t first_index_ = 0;  // the index of pending_.front()
    ImageShelf shelf_;  // the disk image files here come out of
};

}  // namespace verbatra
