#include "app/memo.h"

#include <malloc.h>

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <new>

#include "app/app_limits.h"

namespace movrek::app {

namespace {

// The gap a plain-text edit leaves between its frame and the text, and
// the leading it puts between lines.
constexpr int kTextMargin = 4;
constexpr int kLineLeading = 1;

// The lists are plain text: no memory for styles (a byte per character).
constexpr long kDocumentOptions = QsciScintillaBase::SC_DOCUMENTOPTION_STYLES_NONE;

}  // namespace

// Scintilla's interface for filling a document on another thread (the
// library installs no header for it; its layout is part of Scintilla's
// stable interface).
class TMemoDocument::TLoader {
 public:
  virtual int Release() = 0;
  virtual int AddData(const char* data, std::ptrdiff_t length) = 0;
  virtual void* ConvertToDocument() = 0;

 protected:
  ~TLoader() = default;
};

// Scintilla answers with pointers as integers.
TMemoDocument::TMemoDocument(const TMemo& memo, std::size_t bytes)
    : loader_(reinterpret_cast<TLoader*>(  // NOLINT(performance-no-int-to-ptr)
          memo.SendScintilla(QsciScintillaBase::SCI_CREATELOADER, static_cast<unsigned long>(bytes),
                             kDocumentOptions))) {
  if (loader_ == nullptr) {
    throw std::bad_alloc();
  }
}

TMemoDocument::~TMemoDocument() {
  if (loader_ != nullptr) {
    loader_->Release();
  }
}

void TMemoDocument::Add(std::string_view utf8) {
  if (!utf8.empty() && loader_->AddData(utf8.data(), static_cast<std::ptrdiff_t>(utf8.size())) !=
                           QsciScintillaBase::SC_STATUS_OK) {
    throw std::bad_alloc();
  }
}

TMemo::TMemo(QWidget* parent) : QsciScintilla(parent), undo_limit_bytes_(kMaxUndoHistoryBytes) {
  Configure();
}

TMemo::~TMemo() {
  SettleSnapshot();
}

void TMemo::Configure() {
  // A document of the same kind as those built on other threads.
  // NOLINTNEXTLINE(performance-no-int-to-ptr): Scintilla answers with an integer
  void* own = reinterpret_cast<void*>(SendScintilla(SCI_CREATEDOCUMENT, 0, kDocumentOptions));
  ShowDocument(own);
  SendScintilla(SCI_RELEASEDOCUMENT, 0, reinterpret_cast<long>(own));
  setWrapMode(WrapNone);
  setFolding(NoFoldStyle);
  setCaretLineVisible(false);
  for (int margin = 0; margin < margins(); ++margin) {
    setMarginWidth(margin, 0);
  }
  SendScintilla(SCI_SETMARGINLEFT, 0, kTextMargin);
  SendScintilla(SCI_SETMARGINRIGHT, 0, kTextMargin);
  SendScintilla(SCI_SETEXTRAASCENT, kLineLeading);
  setViewportMargins(0, kTextMargin, 0, 0);
  // The horizontal range follows the widest line shown, as in a plain-text
  // edit, instead of Scintilla's fixed 2000 pixels.
  SendScintilla(SCI_SETSCROLLWIDTH, 1);
  SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1);
  SendScintilla(SCI_SETHSCROLLBAR, 1);
  SendScintilla(SCI_SETVSCROLLBAR, 1);
  // QScintilla answers every insertion and removal it is told of by
  // converting the edit's byte position into a character count from the
  // start of the text (for accessibility), which costs time in proportion
  // to the whole list on every edit. The notices before an edit carry what
  // this class needs and skip that conversion.
  SendScintilla(SCI_SETMODEVENTMASK, SC_MOD_BEFOREINSERT | SC_MOD_BEFOREDELETE);
  connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
          [this](int, int type, const char*, int length) { TextChanging(type, length); });
  ApplyFont();
}

void TMemo::ShowDocument(void* document) {
  // The document shown now may go with the switch.
  SettleSnapshot();
  SendScintilla(SCI_SETDOCPOINTER, 0, reinterpret_cast<long>(document));
  // Code page, line ends and undo belong to the document; one filled on
  // another thread collected no undo history.
  SendScintilla(SCI_SETCODEPAGE, SC_CP_UTF8);
  SendScintilla(SCI_SETEOLMODE, SC_EOL_LF);
  SendScintilla(SCI_SETUNDOCOLLECTION, 1);
  undo_bytes_ = 0;
  ++generation_;
}

void TMemo::TakeDocument(TMemoDocument& document, bool edit) {
  const bool was_modified = Modified();
  const std::size_t old_length = ByteCount();
  ShowDocument(document.loader_->ConvertToDocument());
  document.loader_->Release();
  document.loader_ = nullptr;
#ifdef __GLIBC__
  if (old_length > undo_limit_bytes_) {
    // The old document's pieces lie in the allocator's free lists, where
    // the process would keep them; hand them back to the system.
    ::malloc_trim(0);
  }
#endif
  if (!edit) {
    setModified(false);
  } else if (!was_modified) {
    modified_without_history_ = true;
    emit modificationChanged(true);
  }
}

void TMemo::ApplyFont() {
  const QFont shown = font();
  const QByteArray family = shown.family().toUtf8();
  SendScintilla(SCI_STYLESETFONT, STYLE_DEFAULT, family.constData());
  SendScintilla(SCI_STYLESETSIZEFRACTIONAL, STYLE_DEFAULT,
                static_cast<long>(shown.pointSizeF() * static_cast<int>(SC_FONT_SIZE_MULTIPLIER)));
  SendScintilla(SCI_STYLESETWEIGHT, STYLE_DEFAULT,
                shown.bold() ? SC_WEIGHT_BOLD : SC_WEIGHT_NORMAL);
  SendScintilla(SCI_STYLESETITALIC, STYLE_DEFAULT, shown.italic() ? 1L : 0L);
  SendScintilla(SCI_STYLECLEARALL);
}

bool TMemo::event(QEvent* event) {
  if (event->type() == QEvent::Paint) {
    // The strip above the text, outside Scintilla's view, in the text's paper.
    QPainter painter(this);
    painter.fillRect(
        QRect(viewport()->x(), frameWidth(), viewport()->width(), viewport()->y() - frameWidth()),
        paper());
  }
  return QsciScintilla::event(event);
}

void TMemo::changeEvent(QEvent* event) {
  QsciScintilla::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    ApplyFont();
  }
}

QString TMemo::toPlainText() const {
  const std::string bytes = Bytes();
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void TMemo::setPlainText(const QString& text) {
  // As a plain-text edit does: the new text starts a new history.
  ReplaceAll(text.toUtf8().toStdString());
  DropUndoHistory();
  setModified(false);
}

std::size_t TMemo::ByteCount() const {
  return static_cast<std::size_t>(SendScintilla(SCI_GETLENGTH));
}

std::string TMemo::Bytes() const {
  return CopyText(View());
}

std::string_view TMemo::View() const {
  // The pointer request closes the editor's gap, moving text a snapshot
  // may still be copying.
  SettleSnapshot();
  const std::size_t length = ByteCount();
  const auto* text = static_cast<const char*>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
  return text == nullptr ? std::string_view() : std::string_view(text, length);
}

std::shared_ptr<TTextSnapshot> TMemo::Snapshot() {
  snapshot_ = std::make_shared<TTextSnapshot>(View());
  return snapshot_;
}

void TMemo::SettleSnapshot() const {
  if (snapshot_) {
    snapshot_->Settle();
    snapshot_.reset();
  }
}

void TMemo::Reserve(std::size_t bytes) {
  SendScintilla(SCI_ALLOCATE, static_cast<unsigned long>(bytes));
}

int TMemo::LineCount() const {
  return static_cast<int>(SendScintilla(SCI_GETLINECOUNT));
}

int TMemo::ListLineCount() const {
  const int lines = LineCount();
  return SendScintilla(SCI_LINELENGTH, lines - 1) == 0 ? lines - 1 : lines;
}

void TMemo::ReplaceAll(std::string_view utf8) {
  const std::size_t old_length = ByteCount();
  if (old_length + utf8.size() > undo_limit_bytes_) {
    // Beyond the history anyway: a new document gives all the old one's
    // memory back at once.
    TMemoDocument document(*this, utf8.size());
    document.Add(utf8);
    TakeDocument(document, true);
    return;
  }
  LimitedEdit(old_length + utf8.size(), [&] {
    SendScintilla(SCI_SETTARGETRANGE, 0, static_cast<long>(old_length));
    // Scintilla takes no null text, not even an empty one.
    SendScintilla(SCI_REPLACETARGET, utf8.size(), utf8.empty() ? "" : utf8.data());
  });
  SendScintilla(SCI_GOTOPOS, 0);
}

void TMemo::AppendLines(std::string_view joined, bool continues) {
  const long lines = static_cast<long>(SendScintilla(SCI_GETLINECOUNT));
  const long first_shown = static_cast<long>(SendScintilla(SCI_GETFIRSTVISIBLELINE));
  const long on_screen = static_cast<long>(SendScintilla(SCI_LINESONSCREEN));
  const bool following = first_shown + on_screen >= lines;
  // The last line is empty when the text is empty or ends with a line end;
  // the new lines start there instead of after an extra empty line.
  const std::size_t length = ByteCount();
  const char last =
      length == 0 ? '\n' : static_cast<char>(SendScintilla(SCI_GETCHARAT, length - 1));
  const bool separate = !continues && last != '\n' && last != '\r';
  LimitedEdit(joined.size() + (separate ? 1 : 0), [&] {
    if (separate) {
      SendScintilla(SCI_APPENDTEXT, 1, "\n");
    }
    if (!joined.empty()) {
      SendScintilla(SCI_APPENDTEXT, joined.size(), joined.data());
    }
  });
  if (following) {
    const long now = static_cast<long>(SendScintilla(SCI_GETLINECOUNT));
    SendScintilla(SCI_SETFIRSTVISIBLELINE,
                  static_cast<unsigned long>(std::max(0L, now - on_screen)));
  }
}

void TMemo::LimitedEdit(std::size_t bytes, const std::function<void()>& edit) {
  const bool was_modified = Modified();
  if (bytes > undo_limit_bytes_) {
    // Too large to keep: done without history, and the steps before it
    // could no longer be undone in order, so they go too.
    SendScintilla(SCI_SETUNDOCOLLECTION, 0);
    edit();
    SendScintilla(SCI_SETUNDOCOLLECTION, 1);
    modified_without_history_ = true;
    DropUndoHistory();
  } else {
    if (undo_bytes_ + bytes > undo_limit_bytes_) {
      DropUndoHistory();
    }
    SendScintilla(SCI_BEGINUNDOACTION);
    edit();
    SendScintilla(SCI_ENDUNDOACTION);
  }
  if (Modified() != was_modified) {
    emit modificationChanged(Modified());
  }
}

void TMemo::DropUndoHistory() {
  if (isModified()) {
    modified_without_history_ = true;
  }
  SendScintilla(SCI_EMPTYUNDOBUFFER);
  undo_bytes_ = 0;
}

void TMemo::setModified(bool modified) {
  if (!modified) {
    modified_without_history_ = false;
  }
  QsciScintilla::setModified(modified);
}

void TMemo::TextChanging(int modificationType, int length) {
  SettleSnapshot();
  ++generation_;
  if ((modificationType & (SC_PERFORMED_UNDO | SC_PERFORMED_REDO)) != 0 ||
      SendScintilla(SCI_GETUNDOCOLLECTION) == 0) {
    return;
  }
  undo_bytes_ += static_cast<std::size_t>(std::max(0, length));
  if (undo_bytes_ > undo_limit_bytes_ && !drop_queued_) {
    // Typed or pasted: dropped once the edit under way is complete.
    drop_queued_ = true;
    QTimer::singleShot(0, this, [this] {
      drop_queued_ = false;
      if (undo_bytes_ > undo_limit_bytes_) {
        DropUndoHistory();
      }
    });
  }
}

bool TMemo::focusNextPrevChild(bool next) {
  // Tab moves the focus on, as everywhere else on the window; the lists
  // hold no tab characters of their own.
  // Past Scintilla's own answer, which keeps Tab for the text.
  return QWidget::focusNextPrevChild(next);  // NOLINT(bugprone-parent-virtual-call)
}

void TMemo::dragEnterEvent(QDragEnterEvent* event) {
  if (DropHandler && event->mimeData() != nullptr &&
      (event->mimeData()->hasUrls() || event->mimeData()->hasText())) {
    event->acceptProposedAction();
    return;
  }
  QsciScintilla::dragEnterEvent(event);
}

void TMemo::dragMoveEvent(QDragMoveEvent* event) {
  if (DropHandler) {
    event->acceptProposedAction();
    return;
  }
  QsciScintilla::dragMoveEvent(event);
}

void TMemo::dropEvent(QDropEvent* event) {
  if (DropHandler && event->mimeData() != nullptr && DropHandler(*event->mimeData())) {
    event->acceptProposedAction();
    return;
  }
  QsciScintilla::dropEvent(event);
}

}  // namespace movrek::app
