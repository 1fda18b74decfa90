// The main window: the URL list, the result list ("Found Links"), the filter,
// the save target, the loop generator and the status bar, with the commands
// on them. The fixed layout lives in main_window.ui; behaviour is here.
#pragma once

#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/form_anchors.h"
#include "engine/pipeline/job_settings.h"
#include "ui_main_window.h"

class QAction;
class QFileDialog;
class QMenu;
class QMimeData;

namespace movrek {
class TWindowJobController;
}

namespace movrek::app {

class TBackgroundWork;
struct TBusyCursor;
class TBalloonControl;
class TFormOperations;
class TQtWindowThread;

// Every control of the form is a member under its own name (from the form
// file, through Ui::TForm1) and carries that name as its objectName.
class TForm1 : public QWidget, public Ui::TForm1 {
  Q_OBJECT

 public:
  // Client area at 96 dpi; Qt scales it on denser screens.
  static constexpr int kClientWidth = 588;
  static constexpr int kClientHeight = 455;

  explicit TForm1(TJobSettings settings = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // Command handlers, named after their control and event.
  void Button1Click();
  void Button3Click();
  void Label4MouseEnter();
  void Label4MouseLeave();
  void Button2Click();
  void Label4Click();
  void Button4Click();
  void SelectAll1Click();
  void Copy1Click();
  void Cut1Click();
  void Paste1Click();
  void Delete1Click();
  void Save1Click();
  void Button5Click();
  void ClearAll1Click();
  void Button6tempClick();
  void Label10Click();
  void RemoveLinesStartsWith1Click();
  // Ctrl+A (other modifiers allowed) selects the whole URL list; true when
  // the key was taken.
  bool Memo1KeyDown(int key, Qt::KeyboardModifiers modifiers);

  // Replaces the URL list by the lines of the file, read on another thread.
  // False (with a message box) when it cannot be opened; a read that fails
  // later shows its message then. The list is kept on failure.
  bool LoadUrlFile(const QString& fileName);
  // Work of the list commands still under way off the window's thread.
  bool Busy() const;

  // The job that runs now, if any (Start is disabled while it runs).
  bool JobRunning() const;

  // Shows a message box over the window without blocking the caller.
  void ShowMessage(const QString& text, bool error = false);
  // Writes the result list to the file at once and marks it saved; a
  // failure is shown in a message box.
  void SaveFoundLinks(const QString& fileName);

  // Runs a file dialog and answers whether the user confirmed a choice.
  // Tests put a scripted answer in place of the modal run.
  std::function<bool(QFileDialog& dialog)> RunFileDialog;

  // Components without a place on the window.
  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* SaveDialog1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  TBalloonControl* BalloonControl1 = nullptr;  // the About box
  QAction* SelectAll1 = nullptr;
  QAction* Copy1 = nullptr;
  QAction* Paste1 = nullptr;
  QAction* Cut1 = nullptr;
  QAction* Delete1 = nullptr;
  QAction* Save1 = nullptr;
  QAction* ClearAll1 = nullptr;
  QAction* RemoveLinesStartsWith1 = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void CreatePopupMenu();
  void CreateBalloonControl();
  // Sends the key's press and release to the control that has the focus, as
  // if typed there.
  void SendKeystroke(int key, Qt::KeyboardModifiers modifiers);
  // Asks for a file to save to; empty when cancelled.
  QString AskSaveFile();
  // Dropped on the URL list: a text file is loaded, links are appended.
  bool Memo1Drop(const QMimeData& dropped);
  // Start on a list with lines to drop: they go from the URL list too.
  void StartDroppingShortLines(const std::string& text);
  // Appends the text's lines (LF) to the URL list as one edit.
  void AppendToUrlList(const std::string& joined);
  void AppendGeneratedLines(const std::shared_ptr<const std::string>& text);
  void CreateShortcuts();
  void AnchorControls();
  // Asks, without blocking, whether to close although the result list holds
  // unsaved lines; closes when the user says so.
  void AskToClose(int unsavedLines);

  friend class TFormOperations;

  std::unique_ptr<TQtWindowThread> window_thread_;
  std::unique_ptr<TFormOperations> operations_;
  std::unique_ptr<TWindowJobController> controller_;
  // Last: its threads end before anything they hand results to goes.
  std::unique_ptr<TBackgroundWork> background_;
  std::weak_ptr<TBusyCursor> generator_busy_;  // while generated lines are queued
  bool close_confirmed_ = false;               // the user chose Close over unsaved lines
  TFormAnchors anchors_{QSize(kClientWidth, kClientHeight)};
};

}  // namespace movrek::app
