// The randomized editing test's driver for the Qt back end: real key events through QTest and the real
// clipboard, on the offscreen platform.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeySequence>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <cstdlib>
#include <vector>

#include "platform/editing_driver.h"
#include "platform/qt/qt_internal.h"

namespace vw::testing {
namespace {

using qt::QtPlatform;

QString ToQ(const Text& text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

int& Argc() {
  static int argc = 1;
  return argc;
}

char** Argv() {
  static char name[] = "editing_qt";
  static char* argv[] = {name, nullptr};
  return argv;
}

struct Chord {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
};

Chord ChordFor(EditKey key) {
  switch (key) {
    case EditKey::kEnter:
      return {Qt::Key_Return, Qt::NoModifier};
    case EditKey::kShiftEnter:
      return {Qt::Key_Return, Qt::ShiftModifier};
    case EditKey::kCtrlEnter:
      return {Qt::Key_Return, Qt::ControlModifier};
    case EditKey::kTab:
      return {Qt::Key_Tab, Qt::NoModifier};
    case EditKey::kBackspace:
      return {Qt::Key_Backspace, Qt::NoModifier};
    case EditKey::kDelete:
      return {Qt::Key_Delete, Qt::NoModifier};
    case EditKey::kLeft:
      return {Qt::Key_Left, Qt::NoModifier};
    case EditKey::kRight:
      return {Qt::Key_Right, Qt::NoModifier};
    case EditKey::kShiftLeft:
      return {Qt::Key_Left, Qt::ShiftModifier};
    case EditKey::kShiftRight:
      return {Qt::Key_Right, Qt::ShiftModifier};
    case EditKey::kHome:
      return {Qt::Key_Home, Qt::NoModifier};
    case EditKey::kEnd:
      return {Qt::Key_End, Qt::NoModifier};
    case EditKey::kCtrlHome:
      return {Qt::Key_Home, Qt::ControlModifier};
    case EditKey::kCtrlEnd:
      return {Qt::Key_End, Qt::ControlModifier};
    case EditKey::kSelectAll:
      return {Qt::Key_A, Qt::ControlModifier};
    case EditKey::kUndo:
      return {Qt::Key_Z, Qt::ControlModifier};
    case EditKey::kRedo: {  // both chords people use, in turn
      static bool shift_z = false;
      shift_z = !shift_z;
      return shift_z ? Chord{Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier}
                     : Chord{Qt::Key_Y, Qt::ControlModifier};
    }
    case EditKey::kCopy:
      return {Qt::Key_C, Qt::ControlModifier};
    case EditKey::kCut:
      return {Qt::Key_X, Qt::ControlModifier};
    case EditKey::kPaste:
      return {Qt::Key_V, Qt::ControlModifier};
    case EditKey::kShiftInsert:
      return {Qt::Key_Insert, Qt::ShiftModifier};
  }
  return {Qt::Key_unknown, Qt::NoModifier};
}

class QtEditingDriver final : public EditingDriver {
 public:
  QtEditingDriver() : platform_(MakePlatform()) {}

  Platform& platform() override { return *platform_; }
  std::string name() const override { return "qt"; }

  void Focus(Handle editor) override {
    auto* edit = qobject_cast<QPlainTextEdit*>(platform_->WidgetOf(editor));
    if (edit == nullptr) return;
    platform_->Activate(edit->window());  // a click activates its window
    QTest::mouseClick(edit->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    target_ = edit;
  }

  void Press(EditKey key) override {
    QWidget* target = Target();
    if (target == nullptr) return;
    const Chord chord = ChordFor(key);
    QTest::keyClick(target, chord.key, chord.modifiers);
  }

  void TypeCharacters(const Text& text) override {
    const QString chars = ToQ(text);
    for (qsizetype i = 0; i < chars.size(); ++i) {
      QWidget* target = Target();
      if (target == nullptr) return;
      QString typed(chars[i]);
      if (chars[i].isHighSurrogate() && i + 1 < chars.size() && chars[i + 1].isLowSurrogate())
        typed += chars[++i];
      const char16_t c = chars[i].unicode();
      const Qt::Key key =
          c < 0x80 && typed.size() == 1 ? QTest::asciiToKey(static_cast<char>(c)) : Qt::Key_unknown;
      QTest::sendKeyEvent(QTest::Click, target, key, typed, Qt::NoModifier);
    }
  }

  void SetClipboardText(const Text& text) override {
    auto* data = new QMimeData;
    data->setText(ToQ(text));
    QGuiApplication::clipboard()->setMimeData(data);
  }

  // An image, or nothing at all, in turn.
  void SetClipboardWithoutText() override {
    if (++without_text_ % 2 == 0) {
      QGuiApplication::clipboard()->clear();
      return;
    }
    auto* data = new QMimeData;
    data->setImageData(QImage(2, 2, QImage::Format_RGB32));
    QGuiApplication::clipboard()->setMimeData(data);
  }

  std::optional<Text> ClipboardText() override {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) return std::nullopt;
    return data->text().toStdU16String();
  }

  // Each block of the document laid out as the view lays it out (no wrapping): one row per line of the
  // layout. A glyph the back end marks as a stand-in reads as the character it stands for; a line separator
  // that ends a row is drawn as nothing.
  std::vector<Text> ShownRows(Handle editor) override {
    std::vector<Text> rows;
    auto* edit = qobject_cast<QPlainTextEdit*>(platform_->WidgetOf(editor));
    if (edit == nullptr) return rows;
    const QTextDocument* document = edit->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
      const QString text = block.text();
      std::vector<bool> stand_in(static_cast<std::size_t>(text.size()), false);
      for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!qt::IsStandIn(fragment.charFormat())) continue;
        for (int i = 0; i < fragment.length(); ++i) {
          stand_in[static_cast<std::size_t>(fragment.position() - block.position() + i)] = true;
        }
      }
      QTextLayout layout(text, document->defaultFont());
      layout.setTextOption(document->defaultTextOption());
      layout.beginLayout();
      std::size_t first_row = rows.size();
      for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(1e9);
        Text row;
        for (int i = line.textStart(); i < line.textStart() + line.textLength(); ++i) {
          char16_t c = text[i].unicode();
          if (c == u'\u2028') continue;
          if (char16_t real = qt::RealFor(c); real != 0 && stand_in[static_cast<std::size_t>(i)]) c = real;
          row += c;
        }
        rows.push_back(row);
      }
      layout.endLayout();
      if (rows.size() == first_row) rows.emplace_back();  // an empty block still shows its row
    }
    return rows;
  }

  void ProcessPending() override {
    platform_->AttachEditors();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }

 private:
  static std::unique_ptr<QtPlatform> MakePlatform() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return std::make_unique<QtPlatform>(Argc(), Argv());
  }

  // The control with the focus, as a key goes there; the editor last clicked when no widget has it.
  QWidget* Target() {
    platform_->AttachEditors();  // as before any input the program's loop would handle
    QWidget* focus = QApplication::focusWidget();
    return focus != nullptr ? focus : target_.data();
  }

  std::unique_ptr<QtPlatform> platform_;
  QPointer<QWidget> target_;
  int without_text_ = 0;
};

}  // namespace

std::unique_ptr<EditingDriver> MakeEditingDriver() {
  return std::make_unique<QtEditingDriver>();
}

}  // namespace vw::testing
