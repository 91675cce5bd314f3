// The Qt back end, the message box: QMessageBox showing the rows it is given whole, kept on the screen, with
// Ctrl+C copying its text.
#include "platform/qt/qt_internal.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpacerItem>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <memory>

namespace vw::qt {
namespace {

// A row of more than this many units is cut to its two ends before it is laid out. The program's box text
// never holds one (ui wraps it into rows of at most 100 units); a row of a million would take seconds to lay
// out and to paint.
constexpr qsizetype kLongestRow = 4000;

// The box's text as rows: "\r\n", a lone "\r" and "\n" each end a row. A character that would break a row
// or not show at all is shown by its stand-in (text.cpp).
QString BoxRows(const QString& given) {
  QString text = given;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar(u'\r'), QChar(u'\n'));
  QStringList rows = text.split(QChar(u'\n'));
  for (QString& row : rows) {
    if (row.size() > kLongestRow) {
      row = row.left(kLongestRow / 2) + QChar(u'\u2026') + row.right(kLongestRow / 2);
    }
    for (QChar& c : row) {
      if (char16_t glyph = StandInFor(c.unicode())) c = QChar(glyph);
    }
  }
  return rows.join(QChar(u'\n'));
}

// How wide Qt lets a message box grow on this screen (QMessageBox's own limit).
int WidestBox(const QRect& available) {
  return available.width() <= 1024 ? available.width() : std::min(available.width() - 480, 1000);
}

// Room a window frame may take around the box, and what the box needs beside its text.
constexpr int kFrameRoom = 40;
constexpr int kSpareRoom = 24;

// The box shows `rows` each on one row of a label, never wrapped and never cut: Qt's own label would wrap
// the text to the box's width. When the rows are wider or taller than the screen leaves room for, the label
// scrolls inside the box, so the box always fits on the screen.
void ShowInRows(QMessageBox& box, const QString& rows) {
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (label == nullptr || grid == nullptr) return;
  auto* shown = new QLabel;
  shown->setObjectName(QStringLiteral("vw_shown_text"));
  shown->setTextFormat(Qt::PlainText);
  shown->setWordWrap(false);
  shown->setAlignment(label->alignment());
  shown->setFont(box.font());
  shown->setText(rows);

  const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
  const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
  const QMargins margins = grid->contentsMargins();
  const int buttons = box.buttons().isEmpty() ? 0 : box.buttons().first()->sizeHint().height();
  const int max_width = std::max(1, std::min(WidestBox(available), available.width() - kFrameRoom) -
                                        margins.left() - margins.right() - kSpareRoom);
  const int max_height = std::max(1, available.height() - kFrameRoom - margins.top() - margins.bottom() -
                                         buttons - 2 * std::max(0, grid->verticalSpacing()) - kSpareRoom);

  auto* area = new QScrollArea(&box);
  area->setObjectName(QStringLiteral("vw_shown_rows"));
  area->setFrameShape(QFrame::NoFrame);
  area->setFocusPolicy(Qt::NoFocus);
  area->setWidgetResizable(false);
  area->setWidget(shown);
  shown->resize(shown->sizeHint());  // whole, however wide
  area->viewport()->setAutoFillBackground(false);
  const int bar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
  int width = shown->width();
  int height = shown->height();
  // The scroll bars are decided here, once: left to the area, one that comes and goes while the box is laid
  // out can stay behind and hide a row's end.
  bool across = width > max_width;
  if (across) height += bar;
  const bool down = height > max_height;
  if (down) width += bar;
  if (!across && width > max_width) {  // the vertical bar left too little room across
    across = true;
    height += bar;
  }
  area->setHorizontalScrollBarPolicy(across ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  area->setVerticalScrollBarPolicy(down ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  area->setFixedSize(std::min(width, max_width), std::min(height, max_height));
  delete grid->replaceWidget(label, area);
  label->hide();

  // A box is only as wide as its text; a short text would leave the title cut off ("This Link Found" is the
  // answer the administrator looks for), so the box is made wide enough for the title and the frame's
  // buttons.
  const int title_width = QFontMetrics(box.font()).horizontalAdvance(box.windowTitle()) + 120;
  grid->addItem(
      new QSpacerItem(std::min(title_width, max_width), 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
      grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

void MessageBoxWindow::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QGuiApplication::clipboard()->setText(copied_text);
    event->accept();
    return;
  }
  QMessageBox::keyPressEvent(event);
}

int QtPlatform::MessageBox(Handle owner, const Text& title, const Text& text) {
  QPointer<QWidget> owner_window;
  if (const Entry* entry = Find(owner); entry != nullptr && entry->widget->isWindow()) {
    owner_window = entry->widget.data();
  }
  // No QWidget parent: disabling the owner would disable a child window as well. The owner is the box's
  // transient parent instead.
  auto box = std::make_unique<MessageBoxWindow>();
  box->setWindowTitle(ToQ(title));
  box->setTextFormat(Qt::PlainText);
  box->setTextInteractionFlags(Qt::NoTextInteraction);
  const QString rows = BoxRows(ToQ(text));
  box->setText(rows);
  box->setIcon(QMessageBox::NoIcon);
  box->setStandardButtons(QMessageBox::Ok);
  box->setDefaultButton(QMessageBox::Ok);
  box->setEscapeButton(QMessageBox::Ok);
  box->setWindowModality(Qt::ApplicationModal);
  box->copied_text = ToQ(text);
  box->setProperty("vwText", box->copied_text);
  ShowInRows(*box, rows);  // after the setters: setIcon lays the box out anew
  HandleOf(box.get());
  if (owner_window != nullptr) {
    box->winId();
    if (box->windowHandle() != nullptr) box->windowHandle()->setTransientParent(owner_window->windowHandle());
  }
  // Like the native message boxes elsewhere: the owner is disabled while the box is open.
  bool disabled_owner = false;
  if (owner_window != nullptr && owner_window->isEnabled()) {
    owner_window->setEnabled(false);
    disabled_owner = true;
  }
  bool done = false;
  QObject::connect(box.get(), &QDialog::finished, bridge_.get(), [&done] { done = true; });
  box->show();
  Activate(box.get());
  while (!done && box->isVisible() && !TheQuitWatcher().requested) WaitForOneMessage();

  if (disabled_owner && owner_window != nullptr) owner_window->setEnabled(true);
  box->hide();
  box.reset();
  return 1;
}

}  // namespace vw::qt
