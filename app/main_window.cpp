#include "app/main_window.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QUrl>
#include <exception>
#include <filesystem>
#include <fstream>

#include "app/background_work.h"
#include "app/balloon_control.h"
#include "app/form_operations.h"
#include "app/qt_window_thread.h"
#include "app/text_edit_lines.h"
#include "engine/listing/text_list.h"
#include "engine/pipeline/pipeline_limits.h"
#include "engine/window_job/window_job_controller.h"
#include "html/text_file.h"

namespace movrek::app {

namespace {

// Generated lines go into the result list in pieces of about this size, a
// few milliseconds each.
constexpr std::size_t kGeneratorPieceBytes = std::size_t{1} << 20;

const QString kFileFilter = QStringLiteral("Text File (*.txt)");
const QString kOpenTitle = QStringLiteral("Text file having one url per line.");
const QString kUnsavedOne = QStringLiteral("Found Links holds 1 unsaved line. Close anyway?");
const QString kUnsavedMany = QStringLiteral("Found Links holds %1 unsaved lines. Close anyway?");
const QString kSavedText = QStringLiteral("Saved %1 lines to %2");

const QString kNoteText = QStringLiteral(
    "Some site may use script. So on a web browser it is redirected automatically.\r\n"
    "In that case here, the links have to be entered manually.");

}  // namespace

TForm1::TForm1(TJobSettings settings, QWidget* parent) : QWidget(parent) {
  setupUi(this);
  AnchorControls();
  // Liberation Sans has Arial's metrics, which are close to those the
  // fixed-size controls were laid out for; the wider default sans serif
  // would cut their captions short.
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8);
  setFont(font);
  // The lists set a font of their own when made; they take the window's.
  Memo1->setFont(font);
  Memo2->setFont(font);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  resize(kClientWidth, kClientHeight);
  // Smaller, the fixed controls would be cut off.
  setMinimumSize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
  Image1->setPixmap(QPixmap(QStringLiteral(":/background.jpg")));
  Image1->lower();
  Label5->hide();

  window_thread_ = std::make_unique<TQtWindowThread>(this);
  background_ = std::make_unique<TBackgroundWork>(this);
  operations_ = std::make_unique<TFormOperations>(*this, *window_thread_);
  controller_ =
      std::make_unique<TWindowJobController>(*window_thread_, *operations_, std::move(settings));

  OpenDialog1 = new QFileDialog(this, kOpenTitle);
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setNameFilter(kFileFilter);
  OpenDialog1->setDefaultSuffix(QStringLiteral("txt"));

  SaveDialog1 = new QFileDialog(this);
  SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
  SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
  SaveDialog1->setNameFilter(kFileFilter);
  SaveDialog1->setDefaultSuffix(QStringLiteral("txt"));

  CreatePopupMenu();
  CreateBalloonControl();
  CreateShortcuts();
  RunFileDialog = [](QFileDialog& dialog) { return dialog.exec() == QDialog::Accepted; };

  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
  connect(Button6temp, &QPushButton::clicked, this, &TForm1::Button6tempClick);
  Label4->installEventFilter(this);
  Label10->installEventFilter(this);
  Memo1->installEventFilter(this);
  for (QPushButton* button : findChildren<QPushButton*>()) {
    button->installEventFilter(this);
  }
  Memo1->DropHandler = [this](const QMimeData& dropped) { return Memo1Drop(dropped); };

  FormCreate();
  Memo1->setFocus();
}

TForm1::~TForm1() = default;

void TForm1::AnchorControls() {
  using A = TFormAnchors;
  // The lists take the extra width, and share the extra height: the URL
  // list the upper half, the result list the lower.
  anchors_.Stretch(Image1, A::Near, A::Far, A::Near, A::Far);
  anchors_.Stretch(StatusBar1, A::Near, A::Far, A::Far, A::Far);
  anchors_.Stretch(Memo1, A::Near, A::Far, A::Near, A::Middle);
  anchors_.Move(Label2, A::Near, A::Middle);
  anchors_.Stretch(Memo2, A::Near, A::Far, A::Middle, A::Far);
  // Beside the URL list, at the top.
  for (QWidget* control : {static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button4),
                           static_cast<QWidget*>(Panel1)}) {
    anchors_.Stretch(control, A::Far, A::Far, A::Near, A::Near);
  }
  // Beside the result list, from its top.
  anchors_.Move(Label10, A::Far, A::Middle);
  for (QPushButton* button : {Button1, Button5, Button2}) {
    anchors_.Stretch(button, A::Far, A::Far, A::Middle, A::Middle);
  }
  // Below the result list.
  for (QLabel* label : {Label5, Label6, Label7, Label8, Label9}) {
    anchors_.Move(label, A::Near, A::Far);
  }
  for (QWidget* control : {static_cast<QWidget*>(SpinEdit1), static_cast<QWidget*>(SpinEdit2),
                           static_cast<QWidget*>(Button6temp), static_cast<QWidget*>(Edit3)}) {
    anchors_.Stretch(control, A::Near, A::Near, A::Far, A::Far);
  }
  anchors_.Stretch(Edit2, A::Near, A::Far, A::Far, A::Far);
  anchors_.Move(Label4, A::Far, A::Far);
}

void TForm1::FormCreate() {
  // Labels size themselves to their captions, as the form's font draws them.
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label != Image1 && !label->text().isEmpty()) {
      label->adjustSize();
    }
  }
}

void TForm1::CreatePopupMenu() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  auto item = [this](QAction*& action, const char* name, const QString& caption,
                     void (TForm1::*handler)()) {
    action = PopupMenu1->addAction(caption);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, handler);
  };
  item(Cut1, "Cut1", QStringLiteral("Cut"), &TForm1::Cut1Click);
  item(Copy1, "Copy1", QStringLiteral("Copy"), &TForm1::Copy1Click);
  item(Paste1, "Paste1", QStringLiteral("Paste"), &TForm1::Paste1Click);
  item(Save1, "Save1", QStringLiteral("Save"), &TForm1::Save1Click);
  item(SelectAll1, "SelectAll1", QStringLiteral("Select All"), &TForm1::SelectAll1Click);
  item(Delete1, "Delete1", QStringLiteral("Delete"), &TForm1::Delete1Click);
  item(ClearAll1, "ClearAll1", QStringLiteral("Clear All"), &TForm1::ClearAll1Click);
  item(RemoveLinesStartsWith1, "RemoveLinesStartsWith1",
       QStringLiteral("Remove Lines Starts With #"), &TForm1::RemoveLinesStartsWith1Click);
  connect(Memo2, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(Memo2->viewport()->mapToGlobal(at)); });
}

void TForm1::CreateShortcuts() {
  auto bind = [this](const char* name, const QKeySequence& keys, QPushButton* button) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setObjectName(QLatin1String(name));
    // As a click: a disabled button (Start while a job runs) takes none.
    connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
  };
  bind("OpenShortcut", QKeySequence(Qt::CTRL | Qt::Key_O), Button3);
  bind("SaveShortcut", QKeySequence(Qt::CTRL | Qt::Key_S), Button4);
  bind("QuitShortcut", QKeySequence(Qt::CTRL | Qt::Key_Q), Button2);
  bind("StartShortcut", QKeySequence(Qt::Key_F5), Button1);
  bind("StartReturnShortcut", QKeySequence(Qt::CTRL | Qt::Key_Return), Button1);
  bind("StartEnterShortcut", QKeySequence(Qt::CTRL | Qt::Key_Enter), Button1);
  bind("AbortShortcut", QKeySequence(Qt::Key_Escape), Button5);
  // The lists would take Escape for themselves (it closes their completion
  // lists, which they never show).
  for (TMemo* memo : {Memo1, Memo2}) {
    if (QsciCommand* cancel = memo->standardCommands()->boundTo(Qt::Key_Escape)) {
      cancel->setKey(0);
    }
  }
}

void TForm1::CreateBalloonControl() {
  BalloonControl1 = new TBalloonControl(this);
  BalloonControl1->setObjectName(QStringLiteral("BalloonControl1"));
  BalloonControl1->Control = Edit2;
  BalloonControl1->Horizontal = blnRight;
  BalloonControl1->Vertical = blnTop;
  BalloonControl1->Position = blnArrowTopLeft;
  BalloonControl1->BalloonType = blnInfo;
  BalloonControl1->Duration = 0;
  BalloonControl1->PixelCoordinateX = 0;
  BalloonControl1->PixelCoordinateY = 0;
  BalloonControl1->Title = "For everyone who gathers the web one link at a time";
  BalloonControl1->Text = std::vector<std::string>({
      "[ To the patient readers of long link lists ]",
      "",
      "Movrek. Version 1.0",
      "Freeware.",
      "",
      "Component used:",
      "Sockets and HTTP: own code.",
      "OpenSSL.",
      "HTML scanner: own code.",
      "",
      "Date: 8 December 2026",
      "The Movrek developers",
      MOVREK_CONTACT,
      "Brisvane, Australia",
      "",
      "                [ Ok ]",
  });
}

// --- URL list and generator -----------------------------------------------------

void TForm1::Button1Click() {
  // A list has no line before a NUL byte.
  if (TextBeforeNul(Memo1->View()).empty()) {
    ShowMessage(QString::fromLatin1(kEmptyUrlListMessage));
    return;
  }
  if (HasLineShorterThan(Memo1->View(), kMinUrlLineBytes)) {
    StartDroppingShortLines(Memo1->Bytes());
  } else {
    // The usual case: the job's worker copies the text and splits it, so a
    // list of a million lines holds up the window only for a scan.
    controller_->Button1ClickOnText([text = Memo1->Snapshot()] { return text->Take(); });
  }
  Button1->setEnabled(false);
  // Not on to Exit, where a second Enter would close the window.
  Button5->setFocus();
  StatusBar1->clearMessage();
}

void TForm1::StartDroppingShortLines(const std::string& text) {
  TTextList list;
  list.SetText(text);
  std::vector<std::string> lines = list.Lines();
  controller_->Button1Click(lines);
  Memo1->ReplaceAll(JoinLf(lines));
}

bool TForm1::LoadUrlFile(const QString& fileName) {
  const std::string name = ToBytes(fileName);
  if (!std::ifstream(name).is_open()) {
    // Fails at once, with the engine's own message.
    try {
      TTextList().LoadFromFile(name);
    } catch (const std::exception& error) {
      ShowMessage(QString::fromUtf8(error.what()), true);
      return false;
    }
  }
  // Read, split and made into the list's document off the window's thread;
  // shown at once when ready. A new list, as loaded: no undo history.
  std::error_code unknown;
  const auto size = std::filesystem::file_size(name, unknown);
  auto document = std::make_shared<TMemoDocument>(*Memo1, unknown ? 0 : size);
  background_->Run(
      [name, document] {
        TTextList list;
        list.LoadFromFile(name);
        AddJoinedLines(*document, list.Lines());
        return TWorkResult{};
      },
      [this, document](TWorkResult& loaded) {
        if (!loaded.Error.empty()) {
          ShowMessage(QString::fromUtf8(loaded.Error), true);
          return;
        }
        Memo1->TakeDocument(*document, false);
      });
  return true;
}

bool TForm1::Busy() const {
  return background_->Pending() > 0 || !generator_busy_.expired();
}

bool TForm1::Memo1Drop(const QMimeData& dropped) {
  const QList<QUrl> urls = dropped.urls();
  if (urls.size() == 1 && urls.front().isLocalFile()) {
    LoadUrlFile(urls.front().toLocalFile());
    return true;
  }
  std::vector<std::string> lines;
  if (!urls.isEmpty()) {
    for (const QUrl& url : urls) {
      lines.push_back(ToBytes(url.toString()));
    }
  } else if (dropped.hasText()) {
    TTextList list;
    list.SetText(ToBytes(dropped.text()));
    lines = list.Lines();
  }
  if (lines.empty()) {
    return false;
  }
  AppendToUrlList(JoinLf(lines));
  return true;
}

void TForm1::AppendToUrlList(const std::string& joined) {
  Memo1->AppendLines(joined);
}

void TForm1::Button3Click() {
  OpenDialog1->setWindowTitle(kOpenTitle);
  if (!RunFileDialog(*OpenDialog1)) {
    return;
  }
  const QStringList chosen = OpenDialog1->selectedFiles();
  if (!chosen.isEmpty()) {
    StatusBar1->clearMessage();
    LoadUrlFile(chosen.front());
  }
}

bool TForm1::Memo1KeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (key != Qt::Key_A || !(modifiers & Qt::ControlModifier)) {
    return false;
  }
  Memo1->selectAll();
  return true;
}

void TForm1::Button6tempClick() {
  const std::int64_t first = SpinEdit1->value();
  const std::int64_t last = SpinEdit2->value();
  if (last < first) {
    return;
  }
  background_->Run(
      [first, last, line_template = ToBytes(Edit3->text())] {
        return TWorkResult{GeneratedLines(line_template, first, last), {}};
      },
      [this](TWorkResult& generated) {
        if (!generated.Error.empty()) {
          ShowMessage(QString::fromUtf8(generated.Error), true);
          return;
        }
        AppendGeneratedLines(std::make_shared<const std::string>(std::move(generated.Text)));
      });
}

void TForm1::AppendGeneratedLines(const std::shared_ptr<const std::string>& text) {
  // In pieces ending at a line end, each an edit step, queued behind the
  // job's result lines so neither is cut into the other.
  auto busy = std::make_shared<TBusyCursor>();
  generator_busy_ = busy;
  Memo2->Reserve(Memo2->ByteCount() + text->size() + 1);
  for (std::size_t from = 0; from == 0 || from < text->size();) {
    std::size_t to = text->size();
    if (to - from > kGeneratorPieceBytes) {
      const std::size_t end = text->find('\n', from + kGeneratorPieceBytes);
      to = end == std::string::npos ? text->size() : end + 1;
    }
    window_thread_->Post([this, text, from, to, busy] {
      Memo2->AppendLines(std::string_view(*text).substr(from, to - from), from > 0);
    });
    from = to;
  }
}

void TForm1::Button2Click() {
  close();
}

// --- result list -------------------------------------------------------------------

void TForm1::SendKeystroke(int key, Qt::KeyboardModifiers modifiers) {
  QWidget* target = QApplication::focusWidget();
  if (target == nullptr) {
    return;
  }
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers);
  QCoreApplication::sendEvent(target, &press);
  QCoreApplication::sendEvent(target, &release);
}

void TForm1::Cut1Click() {
  SendKeystroke(Qt::Key_X, Qt::ControlModifier);
}

void TForm1::Copy1Click() {
  SendKeystroke(Qt::Key_C, Qt::ControlModifier);
}

void TForm1::Paste1Click() {
  SendKeystroke(Qt::Key_V, Qt::ControlModifier);
}

void TForm1::Delete1Click() {
  SendKeystroke(Qt::Key_Delete, Qt::NoModifier);
}

QString TForm1::AskSaveFile() {
  if (!RunFileDialog(*SaveDialog1)) {
    return {};
  }
  const QStringList chosen = SaveDialog1->selectedFiles();
  if (chosen.isEmpty()) {
    return {};
  }
  // Offered again next time, as the name chosen last.
  SaveDialog1->selectFile(chosen.front());
  return chosen.front();
}

void TForm1::Save1Click() {
  const QString file_name = AskSaveFile();
  if (!file_name.isEmpty()) {
    SaveFoundLinks(file_name);
  }
}

void TForm1::SaveFoundLinks(const QString& fileName) {
  try {
    SaveTextAsLines(Memo2->Bytes(), ToBytes(fileName));
  } catch (const std::exception& error) {
    ShowMessage(QString::fromUtf8(error.what()), true);
    return;
  }
  Memo2->setModified(false);
  StatusBar1->showMessage(kSavedText.arg(Memo2->ListLineCount()).arg(fileName));
}

void TForm1::SelectAll1Click() {
  Memo2->selectAll();
}

void TForm1::ClearAll1Click() {
  Memo2->ReplaceAll({});
}

void TForm1::RemoveLinesStartsWith1Click() {
  // Filtered on a copy off the window's thread; if the list changed
  // meanwhile (a job appending), the copy is stale and the filter runs again.
  // A result too large for the undo history is made into the list's new
  // document there too.
  const std::uint64_t generation = Memo2->Generation();
  const std::size_t limit = Memo2->UndoLimitBytes();
  auto document = std::make_shared<TMemoDocument>(*Memo2, 0);
  background_->Run(
      [text = Memo2->Bytes(), limit, document]() mutable {
        TWorkResult kept;
        const std::size_t before = text.size();
        kept.Unchanged = !RemoveLinesStartingWith(text, '#');
        kept.Built = !kept.Unchanged && before + text.size() > limit;
        if (kept.Built) {
          document->Add(text);
        } else {
          kept.Text = std::move(text);
        }
        return kept;
      },
      [this, generation, document](TWorkResult& kept) {
        if (Memo2->Generation() != generation) {
          RemoveLinesStartsWith1Click();
        } else if (!kept.Error.empty() || kept.Unchanged) {
          return;
        } else if (kept.Built) {
          Memo2->TakeDocument(*document, true);
        } else {
          Memo2->ReplaceAll(kept.Text);
        }
      });
}

void TForm1::Button4Click() {
  const QString file_name = AskSaveFile();
  if (file_name.isEmpty()) {
    return;
  }
  // While a job runs, the list is saved when it completes; otherwise the
  // list is complete now.
  if (JobRunning()) {
    operations_->SetSaveTarget(file_name);
  } else {
    SaveFoundLinks(file_name);
  }
}

// --- job -------------------------------------------------------------------------------

void TForm1::Button5Click() {
  controller_->Button5Click();
}

bool TForm1::JobRunning() const {
  return !controller_->StartEnabled();
}

// --- labels ---------------------------------------------------------------------------

void TForm1::Label4MouseEnter() {
  QFont font = Label4->font();
  font.setBold(true);
  Label4->setFont(font);
  Label4->adjustSize();
}

void TForm1::Label4MouseLeave() {
  QFont font = Label4->font();
  font.setBold(false);
  Label4->setFont(font);
  Label4->adjustSize();
}

void TForm1::Label4Click() {
  BalloonControl1->Show();
}

void TForm1::Label10Click() {
  ShowMessage(kNoteText);
}

void TForm1::ShowMessage(const QString& text, bool error) {
  auto* box = new QMessageBox(error ? QMessageBox::Critical : QMessageBox::Information,
                              windowTitle(), text, QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("MessageBox"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

// --- events -----------------------------------------------------------------------------

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label4) {
    if (event->type() == QEvent::Enter) {
      Label4MouseEnter();
    }
    if (event->type() == QEvent::Leave) {
      Label4MouseLeave();
    }
    if (event->type() == QEvent::MouseButtonRelease) {
      Label4Click();
    }
  } else if (watched == Label10 && event->type() == QEvent::MouseButtonRelease) {
    Label10Click();
  } else if (watched == Memo1 && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (Memo1KeyDown(key->key(), key->modifiers())) {
      return true;
    }
  } else if (auto* button = qobject_cast<QPushButton*>(watched);
             button != nullptr && event->type() == QEvent::KeyPress) {
    // Enter clicks the focused button, as Space does.
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      button->animateClick();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  anchors_.Place(size());
}

void TForm1::closeEvent(QCloseEvent* event) {
  const int unsaved = Memo2->Modified() ? Memo2->ListLineCount() : 0;
  if (unsaved > 0 && !close_confirmed_) {
    event->ignore();
    AskToClose(unsaved);
    return;
  }
  close_confirmed_ = false;
  controller_->Shutdown();
  QWidget::closeEvent(event);
}

void TForm1::AskToClose(int unsavedLines) {
  for (auto* asking : findChildren<QMessageBox*>(QStringLiteral("CloseQuestion"))) {
    if (asking->isVisible()) {
      asking->activateWindow();
      return;
    }
  }
  auto* box = new QMessageBox(QMessageBox::Question, windowTitle(),
                              unsavedLines == 1 ? kUnsavedOne : kUnsavedMany.arg(unsavedLines),
                              QMessageBox::Close | QMessageBox::Cancel, this);
  box->setObjectName(QStringLiteral("CloseQuestion"));
  box->setDefaultButton(QMessageBox::Cancel);
  box->setEscapeButton(QMessageBox::Cancel);
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::finished, this, [this, box] {
    if (box->clickedButton() == box->button(QMessageBox::Close)) {
      close_confirmed_ = true;
      close();
    }
  });
  box->open();
}

}  // namespace movrek::app
