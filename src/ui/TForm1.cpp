#include "ui/TForm1.h"

#include "ui/MeasurementChart.h"
#include "ui/StatusLed.h"
#include "ui/ValueListEditor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QVBoxLayout>

namespace korvat {

Q_LOGGING_CATEGORY(lcForm, "korvat.ui")

namespace {

// The pages keep their height; the chart takes the rest (about six tenths of the designed height).
constexpr int kPageControlHeight = 272;
constexpr int kPageFontPointSize = 8;

// Memo texts cross the view with CR LF between lines, the way the files and the caption table
// write them; the editor itself works with plain line feeds.
QString withLineFeeds(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString withCrLf(QString text) {
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KORVAT-PC"));

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_chart = new MeasurementChart(client);
    m_readingsTimer = new QTimer(this);
    m_readingsTimer->setSingleShot(true);
    m_readingsTimer->setInterval(kReadingsDelayMs);
    connect(m_readingsTimer, &QTimer::timeout, this, [this] { applyReadings(false); });
    connect(m_chart, &MeasurementChart::curvesRepainted, this, [this] { applyReadings(false); });
    registerControl(m_chart, QStringLiteral("Chart1"), ControlKind::Other, 0);

    m_pages = new QTabWidget(client);
    connect(m_pages, &QTabWidget::currentChanged, this, [this] { applyReadings(false); });
    m_pages->setFixedHeight(kPageControlHeight);
    // The pages are laid out to the pixel for a compact 8-point font, whatever the desktop's
    // default size; the chart keeps the desktop font.
    QFont compact = m_pages->font();
    compact.setPointSize(kPageFontPointSize);
    m_pages->setFont(compact);
    registerControl(m_pages, QStringLiteral("PageControl"), ControlKind::PageControl, 6);

    layout->addWidget(m_chart, 1);
    layout->addWidget(m_pages, 0);
    setCentralWidget(client);

    buildStatusPage(tabSheet(QStringLiteral("tabStatus"), 6));
    buildSettingsPage(tabSheet(QStringLiteral("tabSettings"), 12));
    buildFactorsPage(tabSheet(QStringLiteral("tabFaktoren"), 95));
    buildSampleInfoPage(tabSheet(QStringLiteral("tabSampleInfo"), 96));
    buildSpecimensPage(tabSheet(QStringLiteral("tabProben"), 192));
    m_pages->setCurrentIndex(0);

    // The log memo takes a line every second or so for days: without an undo history and with
    // its block limit, its document stays at nine lines instead of keeping every change (the
    // document also gives back the text it dropped only while undo is off).
    m_log->setUndoRedoEnabled(false);
    m_log->setMaximumBlockCount(kLogLines);

    setMinimumSize(kDesignedWidth, kDesignedHeight);
    resize(kDesignedWidth, kDesignedHeight);

    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, &TForm1::onFocusChanged);
}

TForm1::~TForm1() {
    // The controls die after this body has run, and the focus moves as they go; by then the
    // window is no longer a TForm1 to report it.
    disconnect(m_focusWatch);
}

// ---- lookup
// ---------------------------------------------------------------------------------------

const TForm1::Control* TForm1::find(const QString& name) const {
    const auto it = m_controls.constFind(name);
    if (it == m_controls.cend()) {
        qCWarning(lcForm) << "no control named" << name;
        return nullptr;
    }
    return &it.value();
}

template <class W> W* TForm1::widgetAs(const QString& name) const {
    const Control* control = find(name);
    if (!control)
        return nullptr;
    auto* widget = qobject_cast<W*>(control->widget);
    if (!widget)
        qCWarning(lcForm) << name << "is not a" << W::staticMetaObject.className();
    return widget;
}

QWidget* TForm1::control(const QString& name) const {
    const auto it = m_controls.constFind(name);
    return it == m_controls.cend() ? nullptr : it->widget;
}

ControlKind TForm1::kindOf(const QString& name) const {
    const auto it = m_controls.constFind(name);
    return it == m_controls.cend() ? ControlKind::Other : it->kind;
}

int TForm1::tag(const QString& name) const {
    const QWidget* widget = control(name);
    return widget ? widget->property("Tag").toInt() : 0;
}

void TForm1::setTag(const QString& name, int tag) {
    if (const Control* control = find(name))
        control->widget->setProperty("Tag", tag);
}

// ---- controls by name
// -------------------------------------------------------------------------------------

void TForm1::setWindowCaption(const QString& text) {
    setWindowTitle(text);
}

void TForm1::setText(const QString& name, const QString& text) {
    // What is set now replaces a reading that waits; lines that wait for the log go in before.
    m_pendingReadings.remove(name);
    if (name == QLatin1String("LMDMemo1"))
        applyReadings(true);
    applyText(name, text);
}

void TForm1::showReading(const QString& name, const QString& text) {
    m_pendingReadings.insert(name, text);
    if (!m_readingsTimer->isActive())
        m_readingsTimer->start();
}

void TForm1::applyReadings(bool hiddenToo) const {
    if (m_pendingReadings.isEmpty() && m_pendingLog.isEmpty())
        return;
    m_readingsTimer->stop();
    // A control on a page that is not in front waits until its page comes (laying out a text
    // nobody sees costs as much as showing it).
    const auto shows = [&](const QString& name) {
        const Control* control = find(name);
        return hiddenToo || !control || control->widget->isVisible();
    };
    for (auto it = m_pendingReadings.begin(); it != m_pendingReadings.end();) {
        if (!shows(it.key())) {
            ++it;
            continue;
        }
        applyText(it.key(), it.value());
        it = m_pendingReadings.erase(it);
    }
    if (m_log && (hiddenToo || m_log->isVisible()))
        for (const QString& line : std::exchange(m_pendingLog, {}))
            m_log->appendPlainText(line);
}

void TForm1::applyText(const QString& name, const QString& text) const {
    const Control* control = find(name);
    if (!control)
        return;
    QWidget* widget = control->widget;
    switch (control->kind) {
    case ControlKind::Label:
    case ControlKind::PlatformLabel:
        static_cast<QLabel*>(widget)->setText(text);
        return;
    case ControlKind::PushButton:
    case ControlKind::SpeedButton:
    case ControlKind::CheckBox:
        static_cast<QAbstractButton*>(widget)->setText(text);
        return;
    case ControlKind::GroupBox:
    case ControlKind::RadioGroup:
        static_cast<QGroupBox*>(widget)->setTitle(text);
        return;
    case ControlKind::Led:
        static_cast<StatusLed*>(widget)->setCaption(text);
        return;
    case ControlKind::Edit:
    case ControlKind::LabelledEdit:
        // The same text again would still repaint the edit and reset its cursor and selection.
        if (auto* edit = static_cast<QLineEdit*>(widget); edit->text() != text)
            edit->setText(text);
        return;
    case ControlKind::Memo:
    case ControlKind::LabelledMemo:
        if (auto* memo = static_cast<QPlainTextEdit*>(widget); memo->toPlainText() != withLineFeeds(text))
            memo->setPlainText(withLineFeeds(text));
        return;
    case ControlKind::TabSheet:
        m_pages->setTabText(m_pages->indexOf(widget), text);
        return;
    case ControlKind::StatusBar:
        static_cast<QStatusBar*>(widget)->showMessage(text);
        return;
    case ControlKind::ValueListEditor:
    case ControlKind::PageControl:
    case ControlKind::CheckListBox:
    case ControlKind::Other:
        break;
    }
    qCWarning(lcForm) << name << "has no caption or text";
}

QString TForm1::text(const QString& name) const {
    applyReadings(true);
    const Control* control = find(name);
    if (!control)
        return {};
    const QWidget* widget = control->widget;
    switch (control->kind) {
    case ControlKind::Label:
    case ControlKind::PlatformLabel:
        return static_cast<const QLabel*>(widget)->text();
    case ControlKind::PushButton:
    case ControlKind::SpeedButton:
    case ControlKind::CheckBox:
        return static_cast<const QAbstractButton*>(widget)->text();
    case ControlKind::GroupBox:
    case ControlKind::RadioGroup:
        return static_cast<const QGroupBox*>(widget)->title();
    case ControlKind::Led:
        return static_cast<const StatusLed*>(widget)->caption();
    case ControlKind::Edit:
    case ControlKind::LabelledEdit:
        return static_cast<const QLineEdit*>(widget)->text();
    case ControlKind::Memo:
    case ControlKind::LabelledMemo:
        return withCrLf(static_cast<const QPlainTextEdit*>(widget)->toPlainText());
    case ControlKind::TabSheet:
        return m_pages->tabText(m_pages->indexOf(const_cast<QWidget*>(widget)));
    case ControlKind::StatusBar:
        return static_cast<const QStatusBar*>(widget)->currentMessage();
    case ControlKind::ValueListEditor:
    case ControlKind::PageControl:
    case ControlKind::CheckListBox:
    case ControlKind::Other:
        break;
    }
    qCWarning(lcForm) << name << "has no caption or text";
    return {};
}

void TForm1::setEditLabel(const QString& name, const QString& text) {
    const Control* control = find(name);
    if (control && control->attachedLabel)
        control->attachedLabel->setText(text);
}

QString TForm1::editLabel(const QString& name) const {
    const Control* control = find(name);
    return control && control->attachedLabel ? control->attachedLabel->text() : QString();
}

void TForm1::setEnabled(const QString& name, bool enabled) {
    if (const Control* control = find(name))
        control->widget->setEnabled(enabled);
}

void TForm1::setLedOn(const QString& name, bool on) {
    if (auto* led = widgetAs<StatusLed>(name))
        led->setLedOn(on);
}

bool TForm1::ledOn(const QString& name) const {
    const auto* led = widgetAs<StatusLed>(name);
    return led && led->ledOn();
}

void TForm1::setDown(const QString& name, bool down) {
    if (auto* button = widgetAs<QAbstractButton>(name))
        button->setChecked(down);
}

bool TForm1::isDown(const QString& name) const {
    const auto* button = widgetAs<QAbstractButton>(name);
    return button && button->isChecked();
}

void TForm1::setBackground(const QString& name, const QColor& colour) {
    const Control* control = find(name);
    if (!control)
        return;
    QPalette palette = control->widget->palette();
    switch (control->kind) {
    case ControlKind::Edit:
    case ControlKind::LabelledEdit:
    case ControlKind::Memo:
    case ControlKind::LabelledMemo:
        palette.setColor(QPalette::Base, colour);
        break;
    default:
        palette.setColor(QPalette::Window, colour);
        control->widget->setAutoFillBackground(true);
        break;
    }
    control->widget->setPalette(palette);
}

void TForm1::setChecked(const QString& name, bool checked) {
    if (auto* button = widgetAs<QAbstractButton>(name))
        button->setChecked(checked);
}

bool TForm1::isChecked(const QString& name) const {
    const auto* button = widgetAs<QAbstractButton>(name);
    return button && button->isChecked();
}

void TForm1::setItemIndex(const QString& name, int index) {
    const Control* control = find(name);
    QButtonGroup* items = control ? m_radioItems.value(control->widget) : nullptr;
    if (!items) {
        qCWarning(lcForm) << name << "is not a radio group";
        return;
    }
    // An exclusive group cannot drop its last check, and "no standard" is a valid selection.
    m_settingItemIndex = true;
    items->setExclusive(false);
    for (QAbstractButton* item : items->buttons())
        item->setChecked(items->id(item) == index);
    items->setExclusive(true);
    m_settingItemIndex = false;
}

int TForm1::itemIndex(const QString& name) const {
    const Control* control = find(name);
    const QButtonGroup* items = control ? m_radioItems.value(control->widget) : nullptr;
    return items ? items->checkedId() : -1;
}

void TForm1::setConnectionItem(int index, const QString& text, bool checked) {
    auto* list = widgetAs<QListWidget>(QStringLiteral("clBoxConnection"));
    if (!list || index < 0)
        return;
    while (list->count() <= index) {
        auto* item = new QListWidgetItem(list);
        // Shown with a check mark, but the operator can neither check nor select it.
        item->setFlags(Qt::ItemIsEnabled);
        item->setCheckState(Qt::Unchecked);
    }
    QListWidgetItem* item = list->item(index);
    item->setText(text);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TForm1::setValueList(const QString& name, const QStringList& lines) {
    if (auto* grid = widgetAs<ValueListEditor>(name))
        grid->setLines(lines);
}

QStringList TForm1::valueList(const QString& name) const {
    const auto* grid = widgetAs<ValueListEditor>(name);
    return grid ? grid->lines() : QStringList();
}

void TForm1::setChartTitle(const QString& text) {
    m_chart->setTitle(text);
    m_chart->replotQueued();
}

void TForm1::setBottomAxisMax(double seconds) {
    m_chart->setTimeAxisMax(seconds);
}

void TForm1::setChartFollowsNewest(bool follow) {
    m_chart->setFollowNewest(follow);
}

void TForm1::setLeftAxisRange(double minimum, double maximum) {
    m_chart->yAxis->setRange(minimum, maximum);
    m_chart->replotQueued();
}

void TForm1::setLeftAxisTitle(const QString& text) {
    m_chart->yAxis->setLabel(text);
    m_chart->replotQueued();
}

void TForm1::setBottomAxisTitle(const QString& text) {
    m_chart->xAxis->setLabel(text);
    m_chart->replotQueued();
}

void TForm1::setSeriesTitle(int series, const QString& text) {
    if (QCPGraph* graph = m_chart->series(series)) {
        graph->setName(text);
        m_chart->replotQueued();
    }
}

void TForm1::addLogLine(const QString& text) {
    // The status poll's replies come several times a second: shown with the chart's repaint.
    m_pendingLog.append(text);
    if (m_pendingLog.size() > kLogLines)
        m_pendingLog.removeFirst();
    if (!m_readingsTimer->isActive())
        m_readingsTimer->start();
}

void TForm1::setStatusText(const QString& text) {
    setText(QStringLiteral("statusbarRun"), text);
}

// ---- chart
// ----------------------------------------------------------------------------------------

void TForm1::setSeriesData(int series, const QVector<double>& x, const QVector<double>& y) {
    m_chart->setSeriesData(series, x, y);
}

void TForm1::addSeriesData(int series, const QVector<double>& x, const QVector<double>& y) {
    m_chart->addSeriesData(series, x, y);
}

void TForm1::appendSeries(int series, std::span<const double> x, std::span<const double> y) {
    m_chart->addSeriesData(series, QVector<double>(x.begin(), x.end()), QVector<double>(y.begin(), y.end()));
}

void TForm1::clearSeries(int series) {
    m_chart->clearSeries(series);
}

void TForm1::replotChart() {
    m_chart->replotData();
}

void TForm1::repaintChartOverlay() {
    m_chart->replotOverlay();
}

void TForm1::setChartOverlay(std::function<QVector<QLineF>()> source) {
    m_chart->setOverlaySource(std::move(source));
}

// ---- captions
// -------------------------------------------------------------------------------------

void TForm1::TranslateForm(int offset) {
    for (const QString& name : std::as_const(m_order)) {
        const Control& control = m_controls[name];
        const int tagValue = control.widget->property("Tag").toInt();
        if (tagValue == 0)
            continue;
        const QStringList texts = translatedCaptions(control.kind, tagValue, offset);
        if (texts.isEmpty())
            continue;
        switch (control.kind) {
        case ControlKind::ValueListEditor:
            static_cast<ValueListEditor*>(control.widget)
                ->setTitles(texts.value(0), texts.value(1));
            break;
        case ControlKind::RadioGroup:
            static_cast<QGroupBox*>(control.widget)->setTitle(texts.value(0));
            if (QButtonGroup* items = m_radioItems.value(control.widget)) {
                for (int item = 0; item < 2; ++item) {
                    if (QAbstractButton* button = items->button(item))
                        button->setText(texts.value(item + 1));
                }
            }
            break;
        case ControlKind::LabelledMemo:
            if (control.attachedLabel)
                control.attachedLabel->setText(texts.value(0));
            break;
        default:
            setText(name, texts.value(0));
            break;
        }
    }
    translateSpecimensPage(offset);
}

// ---- operator events
// ------------------------------------------------------------------------------

void TForm1::onFocusChanged(QWidget* old, QWidget* now) {
    // Only a move between two controls of this window counts as leaving one: a message box or
    // another program taking the focus is not, and the control has it again afterwards.
    if (!old || !now || old->window() != this || now->window() != this)
        return;
    if (const QString name = m_exitEdits.value(old); !name.isEmpty())
        emit editExited(name);
    for (QWidget* page : std::as_const(m_exitPages)) {
        if (page->isAncestorOf(old) && !page->isAncestorOf(now))
            emit tabSheetExited(page->objectName());
    }
    if (m_pages->isAncestorOf(old) && !m_pages->isAncestorOf(now))
        emit pageControlExited();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched == m_description)
            return filterDescriptionKey(static_cast<QKeyEvent*>(event));
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && m_factorEdits.contains(edit))
            return handleSubstanceDrag(edit, static_cast<QDropEvent*>(event));
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1::filterDescriptionKey(QKeyEvent* event) {
    if (!m_descriptionKeyRule || m_replayingKey || event->text().isEmpty())
        return false;
    QTextCursor start(m_description->document());
    start.setPosition(m_description->textCursor().selectionStart());
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    switch (m_descriptionKeyRule(enter, start.blockNumber(), start.positionInBlock())) {
    case KeyAction::Keep:
        return false;
    case KeyAction::Discard:
        return true;
    case KeyAction::ReplaceWithEnter: {
        // Typed as if the operator had pressed Enter, so a selection is replaced the same way.
        m_replayingKey = true;
        QKeyEvent enterKey(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(m_description, &enterKey);
        m_replayingKey = false;
        return true;
    }
    }
    return false;
}

bool TForm1::handleSubstanceDrag(QLineEdit* edit, QDropEvent* event) {
    // Only rows of the two substance grids are taken; any other drag (text from elsewhere) is
    // refused rather than typed into a factor.
    const QString gridName = ValueListEditor::sourceGrid(event->mimeData());
    auto* grid = kindOf(gridName) == ControlKind::ValueListEditor
                     ? static_cast<ValueListEditor*>(control(gridName))
                     : nullptr;
    if (!grid) {
        event->ignore();
        return true;
    }
    if (event->type() != QEvent::Drop) {
        event->acceptProposedAction();
        return true;
    }
    QString name;
    QString factor;
    if (!grid->selectedEntry(&name, &factor)) {
        event->ignore();
        return true;
    }
    event->acceptProposedAction();
    emit substanceDropped(gridName, edit->objectName(), name, factor);
    return true;
}

void TForm1::trimLog() {
    if (m_trimmingLog)
        return;
    m_trimmingLog = true;
    QTextDocument* document = m_log->document();
    while (document->blockCount() > kLogLines) {
        QTextCursor first(document->firstBlock());
        first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        first.removeSelectedText();
    }
    m_trimmingLog = false;
}

void TForm1::closeEvent(QCloseEvent* event) {
    emit closing();
    QMainWindow::closeEvent(event);
}

} // namespace korvat
