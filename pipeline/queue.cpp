#include "pipeline/queue.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "pipeline/batch.h"
#include "pipeline/fatal.h"
#include "pipeline/file_utils.h"
#include "pipeline/scratch.h"
#include "platform/platform.h"

namespace verbatra {

namespace {

// Answers a helper can have waiting, and files converted ahead of the
// oldest one not yet reported: enough to keep every helper busy behind a
// long document, few enough that little is held back.
constexpr std::size_t kInFlight = 2;
constexpr std::size_t kAhead = 64;
// Targets synced at once, and how long a finished file waits for others.
constexpr std::size_t kGroup = 32;
constexpr std::chrono::milliseconds kGroupWait{500};
// How long helpers have to stop by themselves at a stop.
constexpr std::chrono::milliseconds kStopWait{700};

// A message on a pipe: its length, then its fields, numbers big-endian,
// strings with their length before them.
class Message {
public:
    void u8(std::uint8_t v) { bytes_ += static_cast<char>(v); }
    void u64(std::uint64_t v) {
        for (int s = 56; s >= 0; s -= 8) u8(static_cast<std::uint8_t>(v >> s));
    }
    void text(const std::string& s) {
        u64(s.size());
        bytes_ += s;
    }
    bool send(int fd) const {
        Message framed;
        framed.u64(bytes_.size());
        return platform::write_pipe(fd, framed.bytes_.data(), 8) && platform::write_pipe(fd, bytes_.data(), bytes_.size());
    }

    bool receive(int fd) {
        std::uint8_t length[8];
        if (!platform::read_pipe(fd, length, 8)) return false;
        std::uint64_t n = 0;
        for (std::uint8_t b : length) n = n << 8 | b;
        if (n > (1u << 30)) return false;
        bytes_.assign(n, '\0');
        at_ = 0;
        return n == 0 || platform::read_pipe(fd, bytes_.data(), n);
    }
    std::uint8_t get_u8() { return at_ < bytes_.size() ? static_cast<std::uint8_t>(bytes_[at_++]) : 0; }
    bool has(std::size_t count) const { return bytes_.size() - at_ >= count; }
    std::uint64_t get_u64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = v << 8 | get_u8();
        return v;
    }
    std::string get_text() {
        const std::uint64_t n = std::min<std::uint64_t>(get_u64(), bytes_.size() - at_);
        std::string s = bytes_.substr(at_, n);
        at_ += n;
        return s;
    }

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

constexpr std::uint8_t kAnswer = 0, kStopped = 1;

// A prepared conversion as a helper hands it over, field by field.
// A request to a helper, field by field in one order both ways.
void put_request(Message& m, const ConversionRequest& r) {
    for (const std::string* text : {&r.source, &r.target_base, &r.inside, &r.original}) m.text(*text);
    m.u8(r.keep_date ? 1 : 0);
    m.u8(r.count_losses ? 1 : 0);
}

ConversionRequest get_request(Message& m) {
    ConversionRequest r;
    for (std::string* text : {&r.source, &r.target_base, &r.inside, &r.original}) *text = m.get_text();
    r.keep_date = m.get_u8() != 0;
    r.count_losses = m.get_u8() != 0;
    return r;
}

void put_result(Message& m, const ConversionResult& r) {
    m.u8(kAnswer);
    m.u8(static_cast<std::uint8_t>(r.outcome));
    m.u64(static_cast<std::uint64_t>(static_cast<std::int64_t>(r.format)));
    m.u64(r.source_size);
    m.u64(r.target_size);
    m.u64(static_cast<std::uint64_t>(r.pictures_kept));
    m.u64(static_cast<std::uint64_t>(r.pictures_dropped));
    for (const int n : {r.losses.stand_ins, r.losses.font_sizes, r.losses.colours, r.losses.notes_as_text}) {
        m.u64(static_cast<std::uint64_t>(n));
    }
    for (const std::string* text : {&r.target_name, &r.note, &r.reason, &r.damage, &r.partial, &r.original, &r.source_sha256,
                                    &r.data_sha256, &r.resource_sha256, &r.target_sha256, &r.started, &r.ended}) {
        m.text(*text);
    }
    const Identification& id = r.identity;
    for (const std::string* text : {&id.format, &id.version, &id.puid, &id.mime, &id.basis, &id.type, &id.creator,
                                    &id.wrapping, &id.wrapping_puid, &id.problem}) {
        m.text(*text);
    }
    m.u64(id.warnings.size());
    for (const std::string& w : id.warnings) m.text(w);
}

// The conversion after the kAnswer mark.
ConversionResult get_result(Message& m) {
    ConversionResult r;
    r.outcome = static_cast<Outcome>(m.get_u8());
    r.format = static_cast<int>(static_cast<std::int64_t>(m.get_u64()));
    r.source_size = m.get_u64();
    r.target_size = m.get_u64();
    r.pictures_kept = static_cast<int>(m.get_u64());
    r.pictures_dropped = static_cast<int>(m.get_u64());
    for (int* n : {&r.losses.stand_ins, &r.losses.font_sizes, &r.losses.colours, &r.losses.notes_as_text}) {
        *n = static_cast<int>(m.get_u64());
    }
    for (std::string* text : {&r.target_name, &r.note, &r.reason, &r.damage, &r.partial, &r.original, &r.source_sha256,
                              &r.data_sha256, &r.resource_sha256, &r.target_sha256, &r.started, &r.ended}) {
        *text = m.get_text();
    }
    Identification& id = r.identity;
    for (std::string* text : {&id.format, &id.version, &id.puid, &id.mime, &id.basis, &id.type, &id.creator,
                              &id.wrapping, &id.wrapping_puid, &id.problem}) {
        *text = m.get_text();
    }
    // A warning is at least its length's 8 bytes: no more than the message holds.
    for (std::uint64_t n = m.get_u64(); n > 0 && m.has(8); --n) id.warnings.push_back(m.get_text());
    return r;
}

struct HelperContext {
    const FormatEntry* source;
    const FormatEntry* target;
};

// A helper's life: a request (source, target base) in, the prepared
// conversion out, until the requests end or a fatal stop.
int helper_main(int in, int out, void* context) {
    const auto* c = static_cast<const HelperContext*>(context);
    detach_scratch_directory();
    int status = 0;
    ImageShelf shelf;
    try {
        for (Message request; request.receive(in);) {
            ConversionResult result = prepare_conversion(get_request(request), c->source, *c->target, &shelf);
            Message answer;
            put_result(answer, result);
            if (!answer.send(out)) {
                // Nobody is left to give the target its name.
                discard_conversion(result);
                break;
            }
        }
    } catch (const FatalStop& stop) {
        Message answer;
        answer.u8(kStopped);
        answer.text(stop.what());
        answer.send(out);
        status = 1;
    }
    remove_scratch_directory();
    return status;
}

}  // namespace

struct ConversionQueue::Helper {
    platform::HelperProcess process;
    std::deque<std::size_t> in_flight;  // indexes sent, answers pending, in order
};

ConversionQueue::ConversionQueue(const FormatEntry* source, const FormatEntry& target, int jobs,
                                 BatchObserver& observer)
    : source_(source), target_(target), observer_(observer), jobs_(jobs) {}

void ConversionQueue::expect(std::size_t files) {
    // A helper costs a process and a round trip for every file: it pays
    // only with files enough to keep it busy, and never one without a file.
    const std::size_t wanted = std::min<std::size_t>(static_cast<std::size_t>(std::max(jobs_, 1)), files / kFilesPerHelper);
    if (wanted <= 1 || !helpers_.empty()) return;
    helpers_.resize(wanted);
    for (Helper& h : helpers_) {
        if (start_helper(h)) continue;
        for (Helper& started : helpers_) platform::end_helper(started.process, false);
        helpers_.clear();
        return;
    }
}

int ConversionQueue::helpers() const { return static_cast<int>(helpers_.size()); }

bool ConversionQueue::start_helper(Helper& helper) {
    static HelperContext context;
    context = {source_, &target_};
    return platform::start_helper(helper.process, helper_main, &context);
}

ConversionQueue::~ConversionQueue() {
    // A fatal stop: every helper stops what it does; the targets it had
    // written whole and not yet handed over are removed when they come, and
    // so are those written here and not yet named.
    for (Helper& h : helpers_) {
        platform::ask_helper_to_stop(h.process);
    }
    // A stop ends the run within a second: a helper that has not answered
    // by then is ended outright (what it was writing is a name of ours,
    // which the next run removes).
    const auto deadline = std::chrono::steady_clock::now() + kStopWait;
    for (Helper& h : helpers_) {
        for (Message m; !h.in_flight.empty(); h.in_flight.pop_front()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (!platform::readable_within(h.process.from, static_cast<int>(std::max<long long>(left.count(), 0))) ||
                !m.receive(h.process.from)) {
                platform::kill_helper(h.process);
                break;
            }
            if (m.get_u8() != kAnswer) break;
            ConversionResult r = get_result(m);
            discard_conversion(r);
        }
        platform::end_helper(h.process, false);
    }
    for (Pending& p : pending_) {
        if (p.done) discard_conversion(p.result);
    }
}

void ConversionQueue::add(const ConversionRequest& request, const std::string& shown) {
    try {
        add_file(request, shown);
    } catch (const FatalStop&) {
        // The files done before the stop are whole: they keep their targets.
        report_ready(true);
        throw;
    }
}

void ConversionQueue::add_done(const std::string& shown, const ConversionResult& result) {
    pending_.push_back(Pending{shown, {}, false, {}, {}});
    done_with(pending_.back(), result);
    report_ready();
}

void ConversionQueue::done_with(Pending& p, ConversionResult result) {
    p.result = std::move(result);
    p.done = true;
    p.done_at = std::chrono::steady_clock::now();
}

void ConversionQueue::add_file(const ConversionRequest& request, const std::string& shown) {
    pending_.push_back(Pending{shown, request, false, {}, {}});
    if (helpers_.empty()) {
        done_with(pending_.back(), prepare_conversion(request, source_, target_, &shelf_));
        report_ready();
        return;
    }
    const std::size_t index = first_index_ + pending_.size() - 1;
    for (;;) {
        auto least = std::min_element(helpers_.begin(), helpers_.end(), [](const Helper& a, const Helper& b) {
            return a.in_flight.size() < b.in_flight.size();
        });
        if (least->in_flight.size() < kInFlight && pending_.size() <= kAhead) {
            send(*least, index);
            return;
        }
        collect_one();
    }
}

void ConversionQueue::send(Helper& helper, std::size_t index) {
    const Pending& p = pending_[index - first_index_];
    Message request;
    put_request(request, p.request);
    helper.in_flight.push_back(index);
    if (!request.send(helper.process.to)) collect_one();  // the helper has ended: its answers say so
}

void ConversionQueue::collect_one() {
    std::vector<int> fds;
    std::vector<Helper*> busy;
    for (Helper& h : helpers_) {
        if (h.in_flight.empty()) continue;
        fds.push_back(h.process.from);
        busy.push_back(&h);
    }
    if (fds.empty()) return;
    const int ready = platform::wait_readable(fds.data(), static_cast<int>(fds.size()));
    if (ready < 0) stop_with_message(kInterrupted);
    Helper& h = *busy[static_cast<std::size_t>(ready)];
    Message m;
    if (!m.receive(h.process.from)) {
        // The helper ended without a word (killed, or a crash): what it
        // had in hand is reported as failed, and a new helper takes its place.
        ConversionResult lost;
        lost.outcome = Outcome::WriteFailed;
        lost.reason = "the helper process converting it ended unexpectedly";
        for (std::size_t index : h.in_flight) done_with(pending_[index - first_index_], lost);
        h.in_flight.clear();
        platform::end_helper(h.process, false);
        if (!start_helper(h)) stop_with_message("cannot start a helper process for --jobs");
        report_ready();
        return;
    }
    if (m.get_u8() == kStopped) stop_with_message(m.get_text());
    done_with(pending_[h.in_flight.front() - first_index_], get_result(m));
    h.in_flight.pop_front();
    report_ready();
}

void ConversionQueue::remove_leftovers_in(const std::string& folder) {
    if (!cleaned_.insert(folder).second) return;
    platform::DirSearch search;
    platform::DirEntry entry;
    std::vector<std::string> ended;
    if (search.open(folder + "*")) {
        while (search.next(entry)) {
            if (is_leftover_of_ended_run(entry.name)) ended.push_back(entry.name);
        }
    }
    for (const std::string& name : ended) {
        if (platform::remove_file(folder + name)) {
            observer_.notice(folder + name + ": left by a run that ended before it was done; removed");
        }
    }
}

void ConversionQueue::report_ready(bool all) {
    std::size_t done = 0;
    while (done < pending_.size() && pending_[done].done) ++done;
    if (done == 0) return;
    if (!all && done < kGroup && std::chrono::steady_clock::now() - pending_.front().done_at < kGroupWait) return;

    std::vector<ConversionResult*> group;
    for (std::size_t i = 0; i < done; ++i) group.push_back(&pending_[i].result);
    sync_conversions(group);
    // Every name is chosen and told first, and what records them is put on
    // the disk; only then do the targets take them. A run that stops in
    // between has a record of names not taken, never a name without one.
    std::unordered_set<std::string> chosen;
    observer_.begin_records();
    for (std::size_t i = 0; i < done; ++i) {
        ConversionResult& r = pending_[i].result;
        if (has_target(r.outcome) && !r.partial.empty()) {
            if (clean_targets_) {
                remove_leftovers_in(r.target_name.substr(0, platform::file_name_start(r.target_name)));
                if (!r.original.empty()) remove_leftovers_in(r.original.substr(0, platform::file_name_start(r.original)));
            }
            choose_target_name(r, chosen);
            chosen.insert(platform::folded_name(r.target_name));
        }
        observer_.recording(pending_[i].shown, r);
    }
    observer_.records_done();
    for (std::size_t i = 0; i < done; ++i) {
        Pending& p = pending_.front();
        ConversionResult& r = p.result;
        if (has_target(r.outcome) && !r.partial.empty()) {
            // Told again, the file's one line says what became of it.
            while (!take_target_name(r)) {
                make_unique_name(r.target_name);  // a file of that name appeared meanwhile
                observer_.recording(p.shown, r);
                observer_.records_done();
            }
            if (!has_target(r.outcome)) {  // the name could not be taken
                observer_.recording(p.shown, r);
                observer_.records_done();
            }
        }
        observer_.finished(p.shown, r);
        pending_.pop_front();
        ++first_index_;
    }
}

void ConversionQueue::finish() {
    try {
        wait_for_all();
    } catch (const FatalStop&) {
        report_ready(true);
        throw;
    }
    report_ready(true);
    for (Helper& h : helpers_) platform::end_helper(h.process, false);
    helpers_.clear();
}

void ConversionQueue::wait_for_all() {
    for (;;) {
        const bool waiting = std::any_of(helpers_.begin(), helpers_.end(), [](const Helper& h) { return !h.in_flight.empty(); });
        if (!waiting) break;
        collect_one();
    }
}

}  // namespace verbatra
