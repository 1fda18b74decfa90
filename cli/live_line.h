// The status line at the bottom of a terminal: redrawn from a timer while
// the lines that stay are printed above it.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace movrek::cli {

class TLiveLine {
 public:
  // `compose` makes the text (any length; it is cut to the terminal's
  // width); it runs on the line's own thread. `outIsTerminal`: standard
  // output shares the terminal, so the line goes out of its way too.
  TLiveLine(std::FILE* out, std::FILE* err, bool outIsTerminal,
            std::function<std::string()> compose);
  // Stops and clears the line.
  ~TLiveLine();
  TLiveLine(const TLiveLine&) = delete;
  TLiveLine& operator=(const TLiveLine&) = delete;

  void Start();
  // The timer ends and the line is wiped; nothing is drawn after this.
  void Stop();

  // Held while lines that stay are printed: no redraw meanwhile, and the
  // line shown last comes back below them at the end.
  class THold {
   public:
    explicit THold(TLiveLine& line) : line_(line), guard_(line.lock_) {}
    ~THold();
    THold(const THold&) = delete;
    THold& operator=(const THold&) = delete;
    // Before anything is written to standard error.
    void BeforeErr() { line_.Wipe(); }
    // Before anything is written to standard output.
    void BeforeOut() {
      if (line_.out_is_terminal_) {
        line_.Wipe();
      }
    }

   private:
    TLiveLine& line_;
    std::lock_guard<std::mutex> guard_;
  };

 private:
  void Run();
  void Draw(const std::string& text);  // under lock_
  void Wipe();                         // under lock_

  std::FILE* out_;
  std::FILE* err_;
  const bool out_is_terminal_;
  std::function<std::string()> compose_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;   // guarded by lock_
  bool shown_ = false;      // the line is on the screen; guarded by lock_
  bool was_shown_ = false;  // it was before a hold wiped it; guarded by lock_
  std::string last_;        // guarded by lock_
  std::thread thread_;
};

// The columns of the terminal behind `file`; kDefaultTerminalColumns when
// it tells none.
int TerminalColumns(std::FILE* file);

}  // namespace movrek::cli
