#include "app/form_operations.h"

#include <QString>

#include "app/main_window.h"
#include "app/qt_window_thread.h"
#include "app/text_edit_lines.h"

namespace movrek::app {

void TFormOperations::AppendResultLines(const std::vector<std::string>& lines) {
  auto from = lines.begin();
  while (from != lines.end()) {
    const auto to = lines.end() - from > static_cast<std::ptrdiff_t>(kLinesPerStep)
                        ? from + static_cast<std::ptrdiff_t>(kLinesPerStep)
                        : lines.end();
    form_.Memo2->AppendLines(JoinLf(from, to));
    from = to;
    if (from != lines.end() && window_thread_.SliceUsed()) {
      // The rest goes first in the queue, so nothing posted after these
      // lines (a status text, the completion and its save) overtakes them.
      window_thread_.PostFront(
          [this, rest = std::vector<std::string>(from, lines.end())] { AppendResultLines(rest); });
      return;
    }
  }
}

TFilterSettings TFormOperations::ReadFilterSettings() {
  TFilterSettings settings;
  settings.Enabled = form_.CheckBox2->isChecked();
  settings.Mode = form_.ComboBox1->currentIndex() == 0 ? 0 : 1;
  settings.Keyword = ToBytes(form_.Edit1->text());
  return settings;
}

void TFormOperations::SetStatusText(const std::string& text) {
  if (text.empty()) {
    form_.StatusBar1->clearMessage();
  } else {
    form_.StatusBar1->showMessage(FromBytes(text));
  }
}

void TFormOperations::SetProgressLine(const std::string& text) {
  form_.Edit2->setText(FromBytes(text));
  form_.Edit2->setCursorPosition(0);
}

std::string TFormOperations::ReadSaveTarget() {
  return ToBytes(form_.Label6->text());
}

void TFormOperations::ClearSaveTarget() {
  form_.Label5->hide();
  form_.Label6->setText(QString());
  form_.Label6->resize(3, form_.Label6->height());
}

void TFormOperations::SetSaveTarget(const QString& path) {
  form_.Label5->show();
  form_.Label6->setText(path);
  form_.Label6->adjustSize();
}

void TFormOperations::SaveResultList(const std::string& fileName) {
  SaveTextAsLines(form_.Memo2->Bytes(), fileName);
  form_.Memo2->setModified(false);
}

void TFormOperations::EnableStart() {
  form_.Button1->setEnabled(true);
  // Back from Abort to Start, unless the user has gone elsewhere meanwhile.
  const QWidget* focus = form_.focusWidget();
  if (focus == nullptr || focus == form_.Button5) {
    form_.Button1->setFocus();
  }
}

void TFormOperations::ShowJobSummary(const TJobSummary& summary) {
  auto counted = [](std::int64_t count, const char* one, const char* many) {
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
  };
  form_.StatusBar1->showMessage(
      QStringLiteral("Done: %1, %2, %3 failed")
          .arg(counted(summary.Pages, "page", "pages"), counted(summary.Links, "link", "links"))
          .arg(summary.Failed));
}

void TFormOperations::ReportJobError(const std::string& text, int line) {
  QString message = FromBytes(text);
  if (line > 0) {
    message =
        QStringLiteral("The job stopped at line %1 of the URL list:\n%2").arg(line).arg(message);
  }
  form_.ShowMessage(message, true);
}

}  // namespace movrek::app
