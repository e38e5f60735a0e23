// Works the dialog as a user would, through window messages, and checks
// what it shows: the start state, the About box, counters for a
// selection, converting by pattern, by selection and recursively, a refused
// file, a pattern that matches nothing, a name outside the Windows code
// page, and Exit. Run in a folder that holds "letter.mw" (a MacWrite
// document: a real one, or a fixture), "note.txt" (100 bytes of text), "other.txt" (250
// bytes), "π notes" (Macintosh text) and "sub\deep.txt".
// The exit status is the verdict; each failure is printed.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failures;
}

HWND wait_for(const wchar_t* caption, int tenths = 100) {
    for (int i = 0; i < tenths; ++i) {
        if (HWND w = FindWindowW(nullptr, caption)) return w;
        Sleep(100);
    }
    return nullptr;
}

std::wstring list_item(HWND list, int i, bool combo = false) {
    const LRESULT n = SendMessageW(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring s(static_cast<std::size_t>(n < 0 ? 0 : n) + 1, L'\0');
    SendMessageW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<std::size_t>(n < 0 ? 0 : n));
    return s;
}

std::vector<std::wstring> items(HWND list, bool combo = false) {
    std::vector<std::wstring> v;
    const LRESULT n = SendMessageW(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) v.push_back(list_item(list, i, combo));
    return v;
}

std::wstring text_of(HWND dialog, int id) {
    wchar_t buffer[512] = {};
    GetDlgItemTextW(dialog, id, buffer, 512);
    return buffer;
}

bool has(const std::vector<std::wstring>& v, const std::wstring& s) {
    for (const auto& x : v) {
        if (x == s) return true;
    }
    return false;
}

void choose(HWND dialog, int id, const wchar_t* name) {
    HWND combo = GetDlgItem(dialog, id);
    const LRESULT i = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
}

void select_files(HWND dialog, const std::vector<std::wstring>& names) {
    HWND files = GetDlgItem(dialog, 19132);
    SendMessageW(files, LB_SETSEL, FALSE, -1);
    for (const auto& name : names) {
        // The list may still be filling just after the dialog came up: a
        // name not found yet would select nothing (or, as -1, everything).
        LRESULT i = LB_ERR;
        for (int tries = 0; tries < 100 && i == LB_ERR; ++tries) {
            i = SendMessageW(files, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name.c_str()));
            if (i == LB_ERR) Sleep(100);
        }
        if (i != LB_ERR) SendMessageW(files, LB_SETSEL, TRUE, i);
        else std::printf("note: %ls is not in the file list\n", name.c_str());
    }
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(19132, LBN_SELCHANGE), reinterpret_cast<LPARAM>(files));
}

// Clicks a button and, when a message box comes up, returns its text and
// closes it.
std::wstring click(HWND dialog, int id, const wchar_t* box_caption = nullptr) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    if (!box_caption) {
        Sleep(1500);
        return {};
    }
    HWND box = wait_for(box_caption, 50);
    if (!box) return L"(no box)";
    const std::wstring text = text_of(box, 19128);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    Sleep(500);
    return text;
}

bool exists(const wchar_t* name) { return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES; }

// Clicks Exit; true when the dialog is gone within ten seconds.
bool click_exit(HWND dialog, const wchar_t* caption) {
    PostMessageW(GetDlgItem(dialog, 108), BM_CLICK, 0, 0);
    for (int i = 0; i < 100; ++i) {
        Sleep(100);
        if (!FindWindowW(nullptr, caption)) return true;
    }
    return false;
}

}  // namespace

// A selected file that vanishes before its turn is told in the message at
// the end, as a file not converted, and the program goes on (ending with
// status 0 at Exit, which the script checks).
int vanished_file(HWND dialog, const wchar_t* caption) {
    choose(dialog, 105, L"Texte seul");
    choose(dialog, 106, L"Ansi (Windows)");
    select_files(dialog, {L"note.txt"});
    DeleteFileW(L"note.txt");
    const std::wstring text = click(dialog, 107, L"Verbatra v. 5.1");
    check(text.find(L"note.txt: cannot be read") != std::wstring::npos, "a file that cannot be read is named in the message");
    if (text.find(L"note.txt: cannot be read") == std::wstring::npos) std::printf("the message was: %ls\n", text.c_str());
    check(FindWindowW(nullptr, caption) != nullptr, "and the dialog stays");
    check(click_exit(dialog, caption), "Exit then ends the program");
    std::printf("%d failures\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
    const wchar_t* caption = L"Verbatra - A Little Text Converter";
    HWND dialog = wait_for(caption, 600);  // a new Wine prefix starts slowly
    check(dialog != nullptr, "the dialog comes up");
    if (!dialog) return 1;
    // The window is there before its lists are filled: acting on it then
    // chose nothing and converted whatever the pattern found.
    for (int i = 0; i < 300; ++i) {
        if (SendMessageW(GetDlgItem(dialog, 105), CB_GETCOUNT, 0, 0) > 0 &&
            SendMessageW(GetDlgItem(dialog, 19132), LB_GETCOUNT, 0, 0) > 0) {
            break;
        }
        Sleep(100);
    }
    if (argc > 1 && std::wstring(argv[1]) == L"vanished") return vanished_file(dialog, caption);

    // Start state.
    const auto sources = items(GetDlgItem(dialog, 105), true);
    const auto targets = items(GetDlgItem(dialog, 106), true);
    check(sources.size() == 11 && sources.front() == L"ClarisWorks", "11 source formats, sorted");
    check(targets.size() == 11 && targets.front() == L"Ansi (Windows)" && targets.back() == L"Wordperfect 5" &&
              has(targets, L"OpenDocument Text") && has(targets, L"Word 2007 (DOCX)"),
          "11 target formats, sorted, the archive targets among them");
    check(list_item(GetDlgItem(dialog, 105), 0, true) == L"ClarisWorks", "the first source is chosen");
    check(text_of(dialog, 19135) == L"*.*", "the pattern is *.*");
    const std::wstring path = text_of(dialog, 19131);
    check(!path.empty() && path.back() == L'\\', "the path ends with a backslash");
    const auto files = items(GetDlgItem(dialog, 19132));
    check(files.size() == 5, "the five files are listed");
    check(has(files, L"\u03c0 notes"), "a name outside the Windows code page is listed as it is");
    check(text_of(dialog, 19129) == L"5", "the file counter");
    // letter.mw is a real document, or a test fixture where there are none.
    WIN32_FILE_ATTRIBUTE_DATA letter{};
    GetFileAttributesExW(L"letter.mw", GetFileExInfoStandard, &letter);
    check(text_of(dialog, 19130) == std::to_wstring(letter.nFileSizeLow + 100 + 250 + 10 + 1), "the length counter");

    // Two files selected: their count and total.
    select_files(dialog, {L"note.txt", L"other.txt"});
    check(text_of(dialog, 19129) == L"2" && text_of(dialog, 19130) == L"350", "two selected files: 2 and 350");

    // The About box.
    const std::wstring about = click(dialog, 55, L"About");
    check(about.find(L"Verbatra v. 5.1") != std::wstring::npos && about.find(L"A little text converter") != std::wstring::npos,
          "the About box text");

    // By selection: the two text files to Ansi.
    choose(dialog, 105, L"Texte seul");
    choose(dialog, 106, L"Ansi (Windows)");
    click(dialog, 107);
    check(exists(L"note.asc") && exists(L"other.asc"), "a selection of two files converts");
    check(has(items(GetDlgItem(dialog, 19132)), L"note.asc"), "the new files show in the list");

    // By pattern, with a file the reader refuses: a message says so.
    SendMessageW(GetDlgItem(dialog, 19132), LB_SETSEL, FALSE, -1);
    SetDlgItemTextW(dialog, 19135, L"*.txt");
    choose(dialog, 105, L"MacWrite 4.6");
    choose(dialog, 106, L"RTF Ansi (Windows)");
    const std::wstring refused = click(dialog, 107, L"Verbatra v. 5.1");
    check(refused.find(L"not a MacWrite 4.6 document") != std::wstring::npos, "refused files are told");
    SetDlgItemTextW(dialog, 19135, L"*.mw");
    click(dialog, 107);
    check(exists(L"letter.rtf"), "a pattern converts");

    // A pattern that matches nothing is told in one line.
    SetDlgItemTextW(dialog, 19135, L"*.none");
    const std::wstring none = click(dialog, 107, L"Verbatra v. 5.1");
    check(none == L"*.none: no file matches", "a pattern that matches nothing is told");

    // Recursively: the text file in the subfolder "sub" converts too.
    SetDlgItemTextW(dialog, 19135, L"*.txt");
    choose(dialog, 105, L"Texte seul");
    choose(dialog, 106, L"Ascii (DOS)");
    SendMessageW(GetDlgItem(dialog, 56), BM_SETCHECK, BST_CHECKED, 0);
    click(dialog, 107);
    SendMessageW(GetDlgItem(dialog, 56), BM_SETCHECK, BST_UNCHECKED, 0);
    check(exists(L"sub\\deep.asc"), "a recursive pattern converts in subfolders");

    // A name outside the Windows code page, selected.
    SetDlgItemTextW(dialog, 19135, L"*.*");
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    choose(dialog, 105, L"Texte seul");
    choose(dialog, 106, L"Ansi (Windows)");
    select_files(dialog, {L"\u03c0 notes"});
    click(dialog, 107);
    check(exists(L"\u03c0 notes.asc"), "a selected name outside the code page converts");

    // The system's 8.3 aliases do not match: "*.txt" lists no "x.txt1".
    SetDlgItemTextW(dialog, 19135, L"*.txt");
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    check(!has(items(GetDlgItem(dialog, 19132)), L"x.txt1"), "a pattern matches long names only");
    SetDlgItemTextW(dialog, 19135, L"*.*");
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);

    // A directory that went away between the listing and the double click:
    // path and lists stay as they were.
    const std::wstring before = text_of(dialog, 19131);
    RemoveDirectoryW(L"gone");
    HWND dirs = GetDlgItem(dialog, 19133);
    SendMessageW(dirs, LB_SETCURSEL, SendMessageW(dirs, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                  reinterpret_cast<LPARAM>(L"[gone]")), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(19133, LBN_DBLCLK), reinterpret_cast<LPARAM>(dirs));
    check(text_of(dialog, 19131) == before, "a failed change of directory leaves the path");
    check(has(items(GetDlgItem(dialog, 19133)), L"[gone]"), "and the lists");

    // The root, and " [..]" there stays at the root.
    click(dialog, 126);
    const std::wstring root = text_of(dialog, 19131);
    check(root.size() == 3 && root[1] == L':' && root[2] == L'\\', "the root button goes to the root");
    click(dialog, 127);
    check(text_of(dialog, 19131) == root, "the parent of the root is the root");

    // Exit ends the program.
    check(click_exit(dialog, caption), "Exit closes the dialog");
    (void)argc;
    (void)argv;
    std::printf("%d failures\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
