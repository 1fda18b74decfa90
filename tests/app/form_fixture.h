// A shown main window for each test, and the small drivers the window tests
// share: waiting for the event loop, answering file dialogs and message boxes.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <functional>
#include <memory>
#include <ostream>

#include "app/main_window.h"
#include "tests/helpers/no_pauses.h"

// Failure messages show texts, not their bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace movrek::test {

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override { Reopen(NoPauses()); }
  // A new window with these settings in place of the open one.
  void Reopen(const TJobSettings& settings) {
    if (form_) form_->close();
    form_ = std::make_unique<app::TForm1>(settings);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    // Keystrokes go to the focused control of the active window.
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  }
  void TearDown() override {
    if (form_) form_->close();
    form_.reset();
  }

  app::TForm1& Form() { return *form_; }

  // Waits for the list commands' work off the window's thread to be in.
  bool WaitForListWork(int timeout_ms = 20000) {
    return QTest::qWaitFor([this] { return !Form().Busy(); }, timeout_ms);
  }

  // The message box the window shows now, if any.
  static QMessageBox* OpenMessageBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box != nullptr && box->isVisible()) return box;
    }
    return nullptr;
  }

  // Answers the next file dialog with `path` (empty: cancels it).
  void AnswerFileDialog(const QString& path) {
    Form().RunFileDialog = [this, path](QFileDialog& dialog) {
      last_dialog_title_ = dialog.windowTitle();
      if (path.isEmpty()) return false;
      dialog.selectFile(path);
      return true;
    };
  }

  QString last_dialog_title_;
  std::unique_ptr<app::TForm1> form_;
};

}  // namespace movrek::test
