// The application object: the open document, the main window with its text
// pane over the document, the long-job runner, and the find, Save As and
// print state. One instance.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "app/job_runner.h"
#include "core/follow_check.h"
#include "core/matching_lines.h"
#include "core/text_document.h"
#include "search/find_options.h"
#include "view/document_lines.h"
#include "view/listed_lines.h"
#include "view/text_pane.h"

class TextView {
public:
    TextView();
    TextView(const TextView&) = delete;
    TextView& operator=(const TextView&) = delete;

    // --- document and opening (app/open_flow_win.cpp) ---
    TextDocument document;
    DocumentLines lines{document};
    TextPane pane;
    JobRunner jobs;
    std::u16string filePath;
    std::u16string titleText;

    bool ShowOpenDialog();
    bool OpenDocument(std::u16string path, Encoding enc);
    void OnOpenProgress(const std::u16string& path, int32_t percent);
    // After each piece the scan read: the waiting messages, when due.
    void OnScanStep();
    // A long job runs: commands that would disturb it are refused, and
    // closing waits for its end.
    bool JobRunning() const { return jobs.Running(); }
    // Esc in one of the program's windows, or closing the window: asks a
    // running job to stop (a scan runs to its end).
    void CancelJob() { jobs.Cancel(); }
    // Indexes the open file again (F5), keeping the position and selection;
    // a view that showed the last line shows the last line after.
    bool ReloadDocument();
    // Frees what the view keeps of the document's text and its widths.
    void DropViewText();

    // --- following the file's end (app/follow_win.cpp) ---
    bool following = false;          // File > 跟踪文件末尾, off at start
    bool fileGone = false;           // the followed file's name holds no file
    FollowCheck follow;
    // Ctrl+T: following on or off.
    void ToggleFollow();
    // The timer's look at the file: what changed is taken in (not during a job).
    void FollowTick();

    // --- clipboard (app/copy_win.cpp) ---
    // Largest selection Copy puts on the clipboard: 128 Mi code units (256 MiB).
    static constexpr size_t CopyLimitUnits = size_t(128) << 20;
    std::u16string SelectedText();
    void CopySelection();

    // --- find (app/find_win.cpp, app/find_dialogs_win.cpp) ---
    std::u16string searchText;
    FindOptions findOptions;
    HWND findDialog = nullptr;
    void FindNext();
    void FindPrevious();
    void CountMatches();
    void OpenFindDialog();
    INT_PTR ShowGoToDialog();
    void SetFindStatus(const std::u16string& text);

    // --- matching lines (app/match_list_win.cpp; the listing in app/find_win.cpp) ---
    // The lines listed, shown in a second pane below the main one.
    MatchingLines listed;
    ListedLines listedLines{document, listed};
    TextPane listPane;
    bool listShown = false;
    bool listInverse = false;        // the Find dialog's "list the lines that do not match"
    // What the list shows: the text and options it was made with, and
    // whether its listing ran to the end.
    std::u16string listPattern;
    FindOptions listOptions;
    bool listInverted = false;
    bool listComplete = false;
    int32_t listHeight = 0;          // the list pane's pixels once the splitter was dragged
    bool splitterDragging = false;
    bool listFocused = false;        // the list pane had the focus last
    // Ctrl+L and the dialog's button: lists with the dialog's text and options.
    void ListCommand();
    // Lists the lines from `from` on into the list, as a job.
    void RunListing(uint64_t from);
    // Shows the list pane (made at its first use), empty and at its top.
    void ShowList();
    void CloseList();
    // Empties the list and forgets what its pane read and measured.
    void ClearListed();
    // Double-click or Enter on a row: its line in the main pane, its first match selected.
    void JumpToListed(uint64_t row);
    // Tab and F6: the focus to the other pane.
    void SwitchPane();
    // The pane the keys and Copy go to.
    TextPane& FocusedPane() { return listShown && listFocused ? listPane : pane; }
    // Places the panes and the splitter between them in the main window.
    void LayoutPanes();
    RECT SplitterRect() const;
    void PaintSplitter(HDC dc);
    // The splitter's mouse messages; false when the message is not the splitter's.
    bool OnSplitterMouse(UINT msg, LPARAM lp);
    // After a reload: appended lines are listed too, a changed file again.
    void KeepListAfterReload(bool reloaded);
    // "保存匹配行": the listed lines written as the file holds them.
    void SaveListedCommand();
    // The selected rows' text of the list pane, each with its own line end.
    void CopyListedSelection();

    // --- output (app/save_as_win.cpp, app/print_command_win.cpp) ---
    Encoding saveEncoding = Encoding::None;
    bool writeBom = false;
    bool saveCancelled = false;    // the last Save As was cancelled (Esc or closing)
    void SaveAs();
    bool SaveCopy(const std::u16string& target);
    bool SaveCopyOrThrow(const std::u16string& target);
    void PrintCommand();
    // Sets the main window's title (progress of a job, or the file's).
    void SetMainTitle(const std::u16string& text);

    // --- main window (app/main_window_win.cpp) ---
    HWND mainWindow = nullptr;
    HINSTANCE instance = nullptr;
    bool focusPending = true;
    wchar_t titleBuffer[100] = {};   // string 103
    wchar_t classBuffer[100] = {};   // string 109
    void EnableCommands(bool enable, bool includeOpen);
    void RefreshEncodingMenu();
    void OpenCommand();
    void ReloadCommand();
    // Loads the strings and the accelerators, registers the class and
    // creates the main window, which gets this object at WM_NCCREATE.
    HWND CreateMainWindow(HINSTANCE inst);
    // Start settings of the pane: font, colours, gutter, wheel.
    void SetPaneDefaults();
    void OnMainCreate(HWND w);
    void OnMainSize();
    // WM_DPICHANGED: the window moved to a monitor of another scaling.
    void OnDpiChanged(int32_t dpi, const RECT* suggested);
    void OnCommand(HWND w, WPARAM wp, LPARAM lp);
    void OnInitMenuPopup();
    void ViewAs(Encoding e, UINT item);
    void ConvertTo(Encoding e, UINT item);
    void ToggleStoreWithBom();
    void FontCommand();
    void DropFiles(struct HDROP__* drop);  // an HDROP
    // Opens argument 1 of a command line, if any; true when a file opened.
    bool OpenFromCommandLine(const wchar_t* commandLine);
    // Exit and WM_CLOSE: destroys the main window, or defers while a job runs.
    void CloseMainWindow();
    // Destroys the main window when a close was deferred and no job runs.
    void FinishDeferredClose();
    // Handles the messages waiting now (a job's pump); false on WM_CLOSE.
    bool PumpMessages() { return jobs.Pump(); }

private:
    static LRESULT CALLBACK MainWndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
};

INT_PTR CALLBACK AboutDlgProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
// The message loop of the application; returns the quit code.
int RunMessageLoop(TextView& app);
// The maker's web site address shown in titles and the About box.
extern const char16_t MakerSite[];
