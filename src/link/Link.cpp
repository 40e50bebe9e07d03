#include "link/Link.h"

#include "link/LinkView.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLink, "korvat.link")

namespace korvat {

Link::Link(SerialLine& com1, SerialLine& com2, Clock& clock, Dialogs& dialogs, LinkView& view,
           QObject* parent)
    : QObject(parent), com1_(com1), com2_(com2), clock_(clock), dialogs_(dialogs), view_(view) {
    auto makePort = [this](SerialLine& line, int number) {
        auto port = std::make_unique<Port>(Port{line, LineAssembler({}, {}), number});
        Port* p = port.get();
        p->assembler = LineAssembler([this, p](const QByteArray& l) { queueLine(*p, l); },
                                     [this, p](const QByteArray& head) {
                                         const QString text =
                                             QStringLiteral("%1: line longer than %2 bytes dropped (%3...)")
                                                 .arg(p->line.deviceName())
                                                 .arg(LineAssembler::kMaxLineLength)
                                                 .arg(QString::fromLatin1(head));
                                         qCWarning(lcLink).noquote() << text;
                                         logLine(p->line.deviceName(), text);
                                     });
        return port;
    };
    port1_ = makePort(com1_, 1);
    port2_ = makePort(com2_, 2);
    connect(&com1_, &SerialLine::readyRead, this, &Link::ComPort1RxChar);
    connect(&com2_, &SerialLine::readyRead, this, &Link::ComPort2RxChar);
    connect(&com1_, &SerialLine::lost, this, [this](const QString& r) { onLost(*port1_, r); });
    connect(&com2_, &SerialLine::lost, this, [this](const QString& r) { onLost(*port2_, r); });
}

Link::~Link() = default;

void Link::createQueues(bool withSecondDataQueue) {
    replyQueue_ = std::make_unique<LineQueue>();
    dataQueue1_ = std::make_unique<LineQueue>();
    if (withSecondDataQueue)
        dataQueue2_ = std::make_unique<LineQueue>();
}

void Link::releaseQueues() {
    replyQueue_.reset();
    dataQueue1_.reset();
    dataQueue2_.reset();
    replyPorts_.clear();
}

QString permissionDeniedText(int languageOffset, const QString& device, const QString& group) {
    const bool english = languageOffset == 1000;
    if (group.isEmpty()) {
        return (english ? QStringLiteral("You may not open %1. Add your user to the group that owns the "
                                         "device (usually dialout; ls -l %1 shows it), then log out "
                                         "and log in again.")
                        : QStringLiteral("Sie dürfen %1 nicht öffnen. Nehmen Sie Ihren Benutzer in die "
                                         "Gruppe auf, der die Schnittstelle gehört (meist dialout; "
                                         "ls -l %1 zeigt sie), und melden Sie sich dann ab und wieder an."))
            .arg(device);
    }
    // Nobody should join root for a serial port: the device wants a group of its own.
    if (group == QLatin1String("root")) {
        return (english ? QStringLiteral("You may not open %1: it belongs to the group root. Ask the "
                                         "administrator to give it to the group dialout (a udev rule), "
                                         "add your user to that group, then log out and log in again.")
                        : QStringLiteral("Sie dürfen %1 nicht öffnen: die Schnittstelle gehört der Gruppe "
                                         "root. Bitten Sie den Administrator, sie der Gruppe dialout zu "
                                         "geben (udev-Regel), nehmen Sie Ihren Benutzer in diese Gruppe "
                                         "auf und melden Sie sich dann ab und wieder an."))
            .arg(device);
    }
    return (english ? QStringLiteral("You may not open %1: it belongs to the group %2. Add your user to "
                                     "that group (sudo adduser $USER %2), then log out and log in again.")
                    : QStringLiteral("Sie dürfen %1 nicht öffnen: die Schnittstelle gehört der Gruppe %2. "
                                     "Nehmen Sie Ihren Benutzer in diese Gruppe auf (sudo adduser $USER "
                                     "%2) und melden Sie sich dann ab und wieder an."))
        .arg(device, group);
}

bool Link::openPort(SerialLine& port, OpenProblem* problem) {
    if (!port.deviceExists()) {
        if (problem)
            *problem = {LoadLangText(language_, 27), port.deviceName(), false};
        return port.isOpen();
    }
    if (port.open(LineSettings{}))
        return true;
    qCWarning(lcLink) << "open" << port.deviceName() << "failed:" << port.errorString();
    QString text = LoadLangText(language_, 28) + QLatin1Char(' ') + port.deviceName();
    // The usual case on a fresh machine: the device is there, but only its group may use it.
    if (port.openDenied())
        text += QStringLiteral("\n\n") + permissionDeniedText(language_, port.deviceName(), port.deviceGroup());
    if (problem)
        *problem = {text, LoadLangText(language_, 326), true};
    return port.isOpen();
}

bool Link::OpenComPort(SerialLine& port) {
    OpenProblem problem;
    if (openPort(port, &problem))
        return true;
    dialogs_.message(problem.text, problem.caption);
    if (problem.failedToOpen && terminate_)
        terminate_();
    return port.isOpen();
}

Link::Port* Link::portOf(const SerialLine& line) const {
    if (&line == &port1_->line)
        return port1_.get();
    if (&line == &port2_->line)
        return port2_.get();
    return nullptr;
}

bool Link::lineDown(const SerialLine& port) const {
    const Port* p = portOf(port);
    return p && p->down;
}

bool Link::wasDownSince(const SerialLine& port, Millis since) const {
    const Port* p = portOf(port);
    if (!p)
        return false;
    return p->down || (p->lastLoss && *p->lastLoss >= since) || (p->lastBack && *p->lastBack >= since);
}

void Link::reconnectStep() {
    for (Port* p : {port1_.get(), port2_.get()}) {
        if (!p->down)
            continue;
        const Millis now = clock_.monotonicNow();
        if (now - p->lastAttempt < kReconnectInterval)
            continue;
        p->lastAttempt = now;
        if (!p->line.deviceExists() || !p->line.open(LineSettings{}))
            continue;
        p->down = false;
        p->lastBack = now;
        p->assembler.reset();
        const QString text = QStringLiteral("%1: line open again").arg(p->line.deviceName());
        qCWarning(lcLink).noquote() << text;
        view_.logLine(text);
        view_.statusText(text);
        debug(p->line.deviceName(), QStringLiteral("!"), text);
        Q_EMIT portBack(p->line.deviceName());
    }
}

void Link::SendCommand(SerialLine& port, const QString& text) {
    debug(port.deviceName(), QStringLiteral(">"), text);
    if (!port.isOpen() && lineDown(port)) {
        // The loss was reported when it happened; a box per command would stall an unattended run.
        ++droppedWhileDown_;
        return;
    }
    if (!port.write(text.toLatin1())) {
        // The command is lost; nothing is retried. The caller goes on as if it had been sent.
        qCWarning(lcLink) << "send on" << port.deviceName() << "failed:" << port.errorString();
        dialogs_.message(port.errorString());
    }
}

void Link::trimReplyPorts() {
    const std::size_t lines = replyQueue_ ? replyQueue_->size() : 0;
    while (replyPorts_.size() > lines)
        replyPorts_.pop_front();
}

QString Link::ReadReply(bool echo) {
    trimReplyPorts();
    if (!replyQueue_ || replyQueue_->empty())
        return {};
    // Lines put into the queue from outside have no port on record; they count as port 1's.
    const bool known = replyPorts_.size() == replyQueue_->size();
    QString line = std::move(replyQueue_->front());
    replyQueue_->pop_front();
    const int from = known ? replyPorts_.front() : 0;
    if (known)
        replyPorts_.pop_front();
    lastReplyPort_ = from == 2 ? 2 : 1;
    lastReplyDevice_ = from == 2 ? com2_.deviceName() : com1_.deviceName();
    debug(lastReplyDevice_, QStringLiteral("<"), line);
    if (echo)
        view_.logLine(line);
    return line;
}

QString Link::SendAndWait(SerialLine& port, const QString& SendMsg) {
    SendCommand(port, SendMsg);
    if (!port.isOpen() && lineDown(port))
        return {}; // no reply can come
    const Millis start = clock_.monotonicNow();
    QString result;
    for (;;) {
        result = ReadReply(true);
        if (!result.isEmpty())
            break;
        const Millis elapsed = clock_.monotonicNow() - start;
        if (elapsed > kReplyWait)
            break;
        clock_.waitForEvents(kReplyWait - elapsed + Millis(1));
    }
    return result;
}

QString Link::SendAndWaitFor(SerialLine& port, const QString& SendMsg,
                             const std::function<bool(const QString&)>& accepted) {
    const Port* asked = portOf(port);
    SendCommand(port, SendMsg);
    if (!port.isOpen() && lineDown(port))
        return {};
    const Millis start = clock_.monotonicNow();
    for (;;) {
        const QString line = ReadReply(true);
        if (!line.isEmpty()) {
            if (asked && lastReplyPort_ == asked->number && accepted(line))
                return line;
            const QString command = QString(SendMsg).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
            const QString text = QStringLiteral("%1: \"%2\" is no answer to %3, skipped")
                                     .arg(lastReplyDevice_, line, command);
            qCInfo(lcLink).noquote() << text;
            debug(lastReplyDevice_, QStringLiteral("!"), text);
            continue; // the next line may be waiting already
        }
        const Millis elapsed = clock_.monotonicNow() - start;
        if (elapsed > kReplyWait)
            return {};
        clock_.waitForEvents(kReplyWait - elapsed + Millis(1));
    }
}

void Link::discardInput(SerialLine& line) {
    Port* p = portOf(line);
    line.discardInput();
    if (!p)
        return;
    p->assembler.reset();
    if (LineQueue* data = p->number == 1 ? dataQueue1_.get() : dataQueue2_.get())
        data->clear();
    trimReplyPorts();
    if (!replyQueue_ || replyPorts_.size() != replyQueue_->size())
        return;
    LineQueue kept;
    std::deque<int> keptPorts;
    for (std::size_t i = 0; i < replyQueue_->size(); ++i) {
        if (replyPorts_[i] == p->number)
            continue;
        kept.push_back(std::move((*replyQueue_)[i]));
        keptPorts.push_back(replyPorts_[i]);
    }
    *replyQueue_ = std::move(kept);
    replyPorts_ = std::move(keptPorts);
}

void Link::ComPort1RxChar() { receive(*port1_); }
void Link::ComPort2RxChar() { receive(*port2_); }

void Link::receive(Port& port) {
    while (port.line.bytesAvailable() > 0) {
        const QByteArray bytes = port.line.readAll();
        if (bytes.isEmpty())
            break;
        port.assembler.feed(bytes);
    }
}

void Link::queueLine(Port& port, const QByteArray& line) {
    const QString text = QString::fromLatin1(line);
    if (isDataLine(line)) {
        LineQueue* queue = port.number == 1 ? dataQueue1_.get() : dataQueue2_.get();
        if (queue)
            queue->push_back(text);
        return;
    }
    if (!replyQueue_)
        return;
    if (replyQueue_->size() >= kMaxWaitingReplies) {
        // The tick takes one reply at a time; a device that floods the line must not fill the
        // memory over a night. The oldest replies go, and the log says so now and then.
        replyQueue_->pop_front();
        if (replyPorts_.size() > replyQueue_->size())
            replyPorts_.pop_front();
        if (repliesDropped_++ % kMaxWaitingReplies == 0)
            logLine(port.line.deviceName(),
                    QStringLiteral("%1: more than %2 replies waiting; the oldest are dropped (%3 so far)")
                        .arg(port.line.deviceName())
                        .arg(kMaxWaitingReplies)
                        .arg(repliesDropped_));
    }
    replyQueue_->push_back(text);
    replyPorts_.push_back(port.number);
    trimReplyPorts();
}

void Link::onLost(Port& port, const QString& reason) {
    port.down = true;
    port.lastAttempt = clock_.monotonicNow();
    port.lastLoss = port.lastAttempt;
    const QString text = QStringLiteral("%1: line lost (%2); it is opened again when the device is back")
                             .arg(port.line.deviceName(), reason);
    qCWarning(lcLink).noquote() << "line lost:" << text;
    view_.logLine(text);
    view_.statusText(text);
    debug(port.line.deviceName(), QStringLiteral("!"), text);
    Q_EMIT portLost(port.line.deviceName(), reason);
}

void Link::logLine(const QString& device, const QString& text) {
    view_.logLine(text);
    debug(device, QStringLiteral("!"), text);
}

void Link::debug(const QString& port, const QString& direction, const QString& text) {
    if (DebugLevel > 0 && debugLog_)
        debugLog_->write(port, direction, text);
}

} // namespace korvat
