// The window's multi-line lists (the URL list and the result list): a plain
// text editor that takes a million lines in one edit, without margins,
// styling or folding, drawn in its window's font.
#pragma once

#include <Qsci/qsciscintilla.h>

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/text_snapshot.h"

class QMimeData;

namespace movrek::app {

class TMemo;

// A whole text made into a list's document of its own, on any thread, to
// take the place of the list's text at once (see TMemo::TakeDocument):
// building a document of a million lines takes longer than the window may
// wait.
class TMemoDocument {
 public:
  // Window's thread; `bytes` is the expected size (a hint).
  TMemoDocument(const TMemo& memo, std::size_t bytes);
  ~TMemoDocument();  // any thread; drops what was not taken
  TMemoDocument(const TMemoDocument&) = delete;
  TMemoDocument& operator=(const TMemoDocument&) = delete;

  // Any thread, one at a time. Throws std::bad_alloc when it cannot grow.
  void Add(std::string_view utf8);

 private:
  friend class TMemo;
  class TLoader;
  TLoader* loader_;
};

class TMemo final : public QsciScintilla {
  Q_OBJECT

 public:
  explicit TMemo(QWidget* parent = nullptr);
  // Waits for a snapshot still being copied (see Snapshot).
  ~TMemo() override;

  // The text with LF line ends, as a plain-text edit gives and takes it.
  QString toPlainText() const;
  void setPlainText(const QString& text);
  // The text as UTF-8 bytes, the editor's own form (no conversion).
  std::string Bytes() const;
  // The same in place, valid until the next change of the text.
  std::string_view View() const;
  // The text as it stands now, copied by the first thread that takes it:
  // until then the window's thread only holds it in place, and a change of
  // the text (or of the document) first waits for the copy.
  std::shared_ptr<TTextSnapshot> Snapshot();
  std::size_t ByteCount() const;
  int LineCount() const;
  // The lines as the text list counts them: none in an empty text, and a
  // final line end makes no extra line.
  int ListLineCount() const;
  // Makes room for a text of `bytes`, so appending up to it moves nothing.
  void Reserve(std::size_t bytes);

  // Replaces the whole text (UTF-8) as one undoable edit step; beyond the
  // undo limit, by a new document without history.
  void ReplaceAll(std::string_view utf8);
  // Puts the document in place of the whole text, without undo history; as
  // an edit (the list is then modified) or as a new text (unmodified).
  void TakeDocument(TMemoDocument& document, bool edit);
  // Appends `joined` (UTF-8 lines separated by LF, no final LF) after the
  // last line as one undoable edit step, in time proportional to `joined`.
  // `continues`: `joined` goes on from the end of an earlier append, which
  // ended with its line end, so no line end is put between.
  // The view follows the end only when it was showing the end.
  void AppendLines(std::string_view joined, bool continues = false);

  // Whether the text differs from the last save point. Unlike isModified(),
  // stays true when the undo history behind it was dropped for its size.
  bool Modified() const { return modified_without_history_ || isModified(); }
  void setModified(bool modified) override;
  // Bytes the undo history holds at most (inserted plus removed text); an
  // edit beyond it drops the older steps, one larger than it is not undoable.
  std::size_t UndoLimitBytes() const { return undo_limit_bytes_; }
  void SetUndoLimitBytes(std::size_t bytes) { undo_limit_bytes_ = bytes; }
  std::size_t UndoHistoryBytes() const { return undo_bytes_; }
  // Counts every change of the text, so background work on a copy can tell
  // whether the copy is still current.
  std::uint64_t Generation() const { return generation_; }

  // When set, a drop goes to this handler instead of being inserted at the
  // drop point; it answers whether it took the data.
  std::function<bool(const QMimeData& data)> DropHandler;

 protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void Configure();
  // Shows `document` (a Scintilla document pointer, referenced for this
  // call) in place of the current one.
  void ShowDocument(void* document);
  void ApplyFont();
  // Runs `edit`, which inserts and removes `bytes` in all, within the undo
  // limit (see UndoLimitBytes).
  void LimitedEdit(std::size_t bytes, const std::function<void()>& edit);
  void DropUndoHistory();
  void TextChanging(int modificationType, int length);
  // The last snapshot is copied: the text may move.
  void SettleSnapshot() const;

  std::size_t undo_limit_bytes_;
  std::size_t undo_bytes_ = 0;
  std::uint64_t generation_ = 0;
  bool modified_without_history_ = false;
  bool drop_queued_ = false;
  mutable std::shared_ptr<TTextSnapshot> snapshot_;
};

}  // namespace movrek::app
