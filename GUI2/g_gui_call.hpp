#pragma once

#include <functional>

// runs work on the user-interface thread. a worker waits for its call; once the sheet
// is closing every waiting and later call is answered at once without running, and a
// call queued before that does nothing when its turn comes
namespace gui_thread {

bool is_gui_thread();
// true when fn ran; false when the sheet is closing
bool call(const std::function<void()>& fn);
// queued without waiting, also from the user-interface thread; dropped when closing
void post(std::function<void()> fn);

void begin_closing();
// a new sheet: calls run again
void end_closing();
bool is_closing();

// the body of a function that Qt calls: no exception may leave it
void guarded(const std::function<void()>& fn) noexcept;

} // namespace gui_thread
