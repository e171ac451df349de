// Handing a settings file to a window of the program that is already open.
//
// A double-click on a .lv24 file starts the program with the file's path. When a window of the
// program is already open, a second window would only wait for a controller whose port the first
// one holds; so the new process gives the file to the open window and ends. A start without a
// file still opens a window of its own: two controllers on two ports are a reason for two.
//
// The open windows carry a window property (HANDOVER_PROPERTY) from their initialisation until
// they begin to close. The new process looks through the visible top-level windows in their
// order on screen, front first, so the first one with the property is the one used last; it
// sends that window the full path in WM_COPYDATA, allowing it first to come to the front. The
// window answers HANDOVER_TAKEN once it has taken the path, before it loads it, so the sender
// never waits on a message box; it then comes to the front and loads the file exactly as a
// command-line file is loaded. A window that is closing, a window that shows a modal window (a
// file dialog, a message box: a file loaded under an open save dialog would replace the form
// that the user is about to save), a window that does not answer within HANDOVER_WAIT_MS, or no
// window at all leave the file with the new process, which opens its own window and loads it: a
// file is never dropped.
//
// A file is loaded in exactly one window. The sender's wait ends, but its message stays in the
// window's queue: a window busy for longer than the wait still receives it later, after the new
// process has loaded the file itself. So the file goes with a claim, a named semaphore of the
// sender's (HANDOVER_CLAIM_FORMAT, with its process id) holding one count, which the window
// and the sender each try to take without waiting: the window as it takes the path, the sender
// once its send has returned, whatever the answer. Whoever takes the count loads the file; the
// other, finding it gone (or the semaphore gone with its process), leaves the file alone.
//
// Several files opened at once (a selection in Explorer) start one process each at the same
// moment, and a window is found only once it is visible. So the starts with a file take turns:
// each holds a named lock (HANDOVER_LOCK_NAME) from its search for an open window until it has
// handed its file over or its own window is visible and takes files. The first opens the window,
// every later one finds it, and the files are loaded one after another in the order the starts
// got the lock, each with its line in the log.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/command_line.h" // COMMAND_LINE_UNITS

constexpr wchar_t HANDOVER_PROPERTY[] = L"LUMIVO24 settings window";
constexpr ULONG_PTR HANDOVER_TAG = 0x4332564C; // "LV2C": a WM_COPYDATA that carries a HandoverData
constexpr LRESULT HANDOVER_TAKEN = 0x4C56;     // the window's answer when it took the path
// The name of a sender's claim, with the sender's process id.
constexpr wchar_t HANDOVER_CLAIM_FORMAT[] = L"Local\\LUMIVO24 settings window hand-over %lu";
constexpr DWORD HANDOVER_WAIT_MS = 5000; // how long the new process waits for that answer
constexpr wchar_t HANDOVER_LOCK_NAME[] = L"Local\\LUMIVO24 settings window hand-over";
constexpr DWORD HANDOVER_LOCK_WAIT_MS = 15000; // how long a start waits for its turn at most

// Marks `dialog` as a window that takes files (initialisation), and removes the mark (the start
// of closing, and WM_DESTROY; a window property must not outlive its window).
void handover_mark(HWND dialog);
void handover_unmark(HWND dialog);

// What a hand-over carries: the sender's process id, which names its claim, and the path with
// its terminator (the message's size ends at the terminator).
struct HandoverData {
    uint32_t sender_process;
    wchar_t path[COMMAND_LINE_UNITS];
};

// A start with a file: waits for its turn (at most HANDOVER_LOCK_WAIT_MS; a start whose turn
// does not come goes on without it) and returns the lock to give back, nullptr when none is
// held. handover_unlock gives it back; it takes nullptr too.
HANDLE handover_lock();
void handover_unlock(HANDLE lock);

// The new process: hands `path` (quotes already removed, not empty) to the window of the program
// used last. True when a window took it; false when the new process must load it itself.
bool handover_send(const wchar_t* path);

// The same to `window` (the one handover_send found; tests give one of their own): sends the path
// with this process's claim and waits at most HANDOVER_WAIT_MS. True when the window took the
// claim, whenever it did and whatever it answered; false when this process keeps the file.
bool handover_offer(HWND window, const wchar_t* path);

// WM_COPYDATA on the main dialog: takes the path when the message is a hand-over, the window is
// not closing and shows no modal window, and its claim is still there to take; then answers the
// sender, comes to the front and loads the file. Returns the answer for the message
// (HANDOVER_TAKEN, or 0 when the path was not taken).
LRESULT handover_receive(HWND dialog, const COPYDATASTRUCT* data);
