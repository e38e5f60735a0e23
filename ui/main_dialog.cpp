// The Windows program: one modal dialog to pick the formats, browse to a
// directory and convert a selection or a pattern; and the message dialog
// it shares with the About box and the fatal stop.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/batch.h"
#include "pipeline/fatal.h"
#include "pipeline/registry.h"
#include "pipeline/scratch.h"
#include "platform/platform.h"
#include "platform/utf16.h"
#include "ui/dialog_text.h"
#include "ui/resource.h"

namespace verbatra {
namespace {

HINSTANCE g_instance = nullptr;
HWND g_main = nullptr;

using platform::narrow;
using platform::wide;

std::string item_text(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    std::wstring w(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    w.resize(static_cast<std::size_t>(GetWindowTextW(item, w.data(), static_cast<int>(w.size()))));
    return narrow(w);
}
void set_item_text(HWND dialog, int id, const std::string& text) { SetDlgItemTextW(dialog, id, wide(text).c_str()); }

std::string list_text(HWND list, int index, bool combo = false) {
    const LRESULT length = SendMessageW(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::wstring w(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.data()));
    w.resize(static_cast<std::size_t>(length));
    return narrow(w);
}

// Centres `window` over the main dialog, or over the screen before there is one.
void centre_window(HWND window, HWND reference) {
    RECT w{}, r{};
    GetWindowRect(window, &w);
    const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
    if (reference) GetWindowRect(reference, &r);
    else r = RECT{0, 0, screen_w, screen_h};
    const int x = ui::centred_position(r.left, r.right - r.left, w.right - w.left, screen_w);
    const int y = ui::centred_position(r.top, r.bottom - r.top, w.bottom - w.top, screen_h);
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

struct Message {
    std::wstring text, caption;
};

INT_PTR CALLBACK message_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_INITDIALOG: {
            const auto* m = reinterpret_cast<const Message*>(lparam);
            centre_window(dialog, g_main);
            SetDlgItemTextW(dialog, IDC_MESSAGE_TEXT, m->text.c_str());
            SetWindowTextW(dialog, m->caption.c_str());
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDC_MESSAGE_OK || LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == SC_CLOSE) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

void show_message(HWND owner, const std::string& text, const std::string& caption) {
    Message m{wide(text), wide(caption)};
    DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_MESSAGE), owner, message_proc, reinterpret_cast<LPARAM>(&m));
}

// What the dialog tells the user after a batch: nothing when every file
// converted, else the counts and the first few files with their reasons,
// worded as the command line words them.
class DialogObserver : public BatchObserver {
public:
    DialogObserver(const FormatEntry& source, const FormatEntry& target) : source_(source), target_(target) {}
    void starting(const std::string&) override { advance_busy_indicator(); }
    void finished(const std::string& path, const ConversionResult& r) override {
        if (r.outcome == Outcome::Converted) {
            ++converted_;
        } else if (r.outcome == Outcome::Damaged) {
            // Converted as far as the file goes: the user hears what was lost.
            ++converted_;
            ++damaged_;
            if (lines_.size() < 3) lines_.push_back(path + ": " + reason_not_converted(r, &source_, target_));
        } else {
            note(path, reason_not_converted(r, &source_, target_));
        }
    }
    void problem(const std::string& message) override { note("", message); }

    bool all_well() const { return others_ == 0 && damaged_ == 0; }
    bool any_seen() const { return converted_ + others_ > 0; }
    std::string report() const {
        std::string text = std::to_string(converted_) + " converted, " +
                           (damaged_ > 0 ? std::to_string(damaged_) + " damaged, " : std::string()) +
                           std::to_string(others_) + " not converted:";
        for (const std::string& line : lines_) text += "\n" + line;
        if (others_ > static_cast<int>(lines_.size())) text += "\n...";
        return text;
    }

private:
    void note(const std::string& path, const std::string& reason) {
        ++others_;
        if (lines_.size() < 3) lines_.push_back(path.empty() ? reason : path + ": " + reason);
    }
    const FormatEntry& source_;
    const FormatEntry& target_;
    int converted_ = 0, damaged_ = 0, others_ = 0;
    std::vector<std::string> lines_;
};

class MainDialog {
public:
    explicit MainDialog(HWND dialog) : dialog_(dialog) {}

    void start() {
        centre_window(dialog_, nullptr);
        SendMessageW(dialog_, WM_SETICON, ICON_SMALL,
                     reinterpret_cast<LPARAM>(LoadIconW(g_instance, MAKEINTRESOURCEW(IDC_ICON_PROGRAM))));
        set_item_text(dialog_, IDC_PATTERN, "*.*");
        show_path();
        refresh();
        for (int i = 0; source_formats[i].display_name; ++i) {
            SendDlgItemMessageW(dialog_, IDC_SOURCE, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(wide(source_formats[i].display_name).c_str()));
        }
        for (int i = 0; target_formats[i].display_name; ++i) {
            SendDlgItemMessageW(dialog_, IDC_TARGET, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(wide(target_formats[i].display_name).c_str()));
        }
        SendDlgItemMessageW(dialog_, IDC_SOURCE, CB_SETCURSEL, 0, 0);
        SendDlgItemMessageW(dialog_, IDC_TARGET, CB_SETCURSEL, 0, 0);
    }

    bool command(int id, int code) {
        switch (id) {
            case IDOK: refresh(); return true;
            case IDCANCEL:
            case IDC_EXIT: EndDialog(dialog_, 0); return true;
            case IDC_HELP_BUTTON:
                show_message(dialog_, "Verbatra v. " VERBATRA_VERSION "\nA little text converter\nfor some Macintosh file formats", "About");
                return true;
            case IDC_ROOT: change_to("\\"); return true;
            case IDC_PARENT: change_to(".."); return true;
            case IDC_FILES:
                if (code == LBN_SELCHANGE) update_counters();
                return true;
            case IDC_DIRECTORIES:
                if (code == LBN_DBLCLK) {
                    HWND list = GetDlgItem(dialog_, IDC_DIRECTORIES);
                    const std::string entry = list_text(list, static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0)));
                    if (entry.size() > 2) change_to(entry.substr(1, entry.size() - 2));
                }
                return true;
            case IDC_DRIVES:
                if (code == LBN_DBLCLK) {
                    HWND list = GetDlgItem(dialog_, IDC_DRIVES);
                    const std::string drive =
                        ui::drive_of_entry(list_text(list, static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0))));
                    if (!drive.empty()) change_to(drive);
                }
                return true;
            case IDC_CONVERT: convert(); return true;
            default: return false;
        }
    }

private:
    // The real current directory, after every change: what is shown is
    // where the program is.
    void show_path() {
        std::string path = platform::current_directory();
        if (path.empty() || path.back() != '\\') path += '\\';
        set_item_text(dialog_, IDC_PATH, ui::shortened_path(ui::lower_case(path)));
    }

    void change_to(const std::string& where) {
        if (platform::change_directory(where)) {
            show_path();
            refresh();
        }
    }

    void refresh() {
        const std::string pattern = item_text(dialog_, IDC_PATTERN);
        HWND files = GetDlgItem(dialog_, IDC_FILES);
        SendMessageW(files, LB_RESETCONTENT, 0, 0);
        sizes_.clear();
        std::uint64_t total = 0;
        long count = 0;
        platform::DirSearch search;
        platform::DirEntry e;
        if (search.open(pattern.empty() ? "*.*" : pattern)) {
            while (search.next(e)) {
                if (e.attributes & (platform::kAttrDirectory | platform::kAttrVolumeLabel)) continue;
                SendMessageW(files, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(e.name).c_str()));
                sizes_.push_back({e.name, e.size});
                total += e.size;
                ++count;
            }
        }
        show_counters(count, total);

        HWND dirs = GetDlgItem(dialog_, IDC_DIRECTORIES);
        SendMessageW(dirs, LB_RESETCONTENT, 0, 0);
        platform::DirSearch all;
        if (all.open("*.*")) {
            while (all.next(e)) {
                if (!(e.attributes & platform::kAttrDirectory) || e.name == ".") continue;
                SendMessageW(dirs, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide("[" + ui::lower_case(e.name) + "]").c_str()));
            }
        }

        HWND drives = GetDlgItem(dialog_, IDC_DRIVES);
        if (drive_texts_.empty()) build_drive_texts();
        SendMessageW(drives, LB_RESETCONTENT, 0, 0);
        for (const std::string& t : drive_texts_) SendMessageW(drives, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(t).c_str()));
    }

    void build_drive_texts() {
        // No system box for an empty card or CD drive while labels are read.
        const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        const DWORD mask = GetLogicalDrives();
        for (int d = 0; d < 26; ++d) {
            if (!(mask & (1u << d))) continue;
            const char letter = static_cast<char>('A' + d);
            std::string label;
            wchar_t name[MAX_PATH + 1] = {};
            const std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + d)) + L":\\";
            if (d != 0 && GetVolumeInformationW(root.c_str(), name, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) {
                label = narrow(name);
            }
            drive_texts_.push_back(ui::drive_entry(letter, label));
        }
        SetErrorMode(old_mode);
    }

    void show_counters(long count, std::uint64_t total) {
        set_item_text(dialog_, IDC_FILE_COUNT, std::to_string(count));
        set_item_text(dialog_, IDC_TOTAL_LENGTH, std::to_string(total));
    }

    // From the directory search's sizes: no file is opened for them.
    void update_counters() {
        HWND files = GetDlgItem(dialog_, IDC_FILES);
        const int selected = static_cast<int>(SendMessageW(files, LB_GETSELCOUNT, 0, 0));
        const int items = static_cast<int>(SendMessageW(files, LB_GETCOUNT, 0, 0));
        long count = 0;
        std::uint64_t total = 0;
        for (int i = 0; i < items; ++i) {
            if (selected > 0 && SendMessageW(files, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
            const std::string name = list_text(files, i);
            for (const auto& [n, size] : sizes_) {
                if (n == name) {
                    total += size;
                    break;
                }
            }
            ++count;
        }
        show_counters(count, total);
    }

    const FormatEntry& chosen(int id, const FormatEntry* table) {
        HWND combo = GetDlgItem(dialog_, id);
        const std::string name = list_text(combo, static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)), true);
        const int index = lookup_format(name, table);
        return table[index < 0 ? 0 : index];
    }

    void convert() {
        const bool recursive = IsDlgButtonChecked(dialog_, IDC_RECURSIVE) == BST_CHECKED;
        const FormatEntry& source = chosen(IDC_SOURCE, source_formats);
        const FormatEntry& target = chosen(IDC_TARGET, target_formats);
        HWND files = GetDlgItem(dialog_, IDC_FILES);
        const int selected = static_cast<int>(SendMessageW(files, LB_GETSELCOUNT, 0, 0));
        HCURSOR saved = GetCursor();
        advance_busy_indicator();
        DialogObserver observer(source, target);
        if (selected > 0) {
            // Names go to the system as they are: no character table.
            const int items = static_cast<int>(SendMessageW(files, LB_GETCOUNT, 0, 0));
            for (int i = 0, done = 0; i < items && done < selected; ++i) {
                if (SendMessageW(files, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
                convert_selection(list_text(files, i), kOneFile, source, target, observer);
                SendMessageW(files, LB_SETSEL, FALSE, static_cast<LPARAM>(i));
                ++done;
            }
        } else {
            const std::string pattern = item_text(dialog_, IDC_PATTERN);
            convert_selection(pattern, recursive ? kRecursive : kPattern, source, target, observer);
        }
        SetCursor(saved);
        // Clicks and keys given during the batch are not taken as new commands.
        MSG m;
        while (PeekMessageW(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {}
        while (PeekMessageW(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {}
        refresh();
        if (selected == 0 && !observer.any_seen()) {
            show_message(dialog_, item_text(dialog_, IDC_PATTERN) + ": no file matches", kCaption);
        } else if (!observer.all_well()) {
            show_message(dialog_, observer.report(), kCaption);
        }
    }

    HWND dialog_;
    std::vector<std::string> drive_texts_;
    std::vector<std::pair<std::string, std::uint64_t>> sizes_;
};

INT_PTR CALLBACK main_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
    static MainDialog* state = nullptr;
    try {
        switch (msg) {
            case WM_INITDIALOG:
                g_main = dialog;
                state = new MainDialog(dialog);
                state->start();
                return TRUE;
            case WM_COMMAND: return state && state->command(LOWORD(wparam), HIWORD(wparam)) ? TRUE : FALSE;
            case WM_SYSCOMMAND:
                if ((wparam & 0xFFF0) == SC_CLOSE) {
                    EndDialog(dialog, 0);
                    return TRUE;
                }
                return FALSE;
            case WM_DESTROY:
                delete state;
                state = nullptr;
                return FALSE;
            default: return FALSE;
        }
    } catch (const FatalStop& stop) {
        // A fatal stop: the message over the dialog, the private scratch
        // folder removed, then the end with status 1.
        show_message(dialog, stop.what(), kCaption);
        remove_scratch_directory();
        EndDialog(dialog, 1);
        return TRUE;
    }
}

}  // namespace
}  // namespace verbatra

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    verbatra::g_instance = instance;
    const INT_PTR result = DialogBoxW(instance, L"VERBATRA", nullptr, verbatra::main_proc);
    return result == 1 ? 1 : 0;
}
