#pragma once
// The two serial lines to the instrument, their line queues and the primitives every other part
// talks through: open a port, send a command, take a reply, send and wait for a reply.

#include "link/DebugLog.h"
#include "link/LineAssembler.h"
#include "link/SerialLine.h"
#include "util/Clock.h"

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace korvat {

class Dialogs;
class LinkView;

using LineQueue = std::deque<QString>;

// What the operator reads when a serial device is there but this user may not open it: the
// device, the group that owns it ("" when unknown) and what to do, in the program's language
// (language offset 0 German, 1000 English).
QString permissionDeniedText(int languageOffset, const QString& device, const QString& group);

class Link : public QObject {
    Q_OBJECT
public:
    static constexpr Millis kReplyWait{5000};
    // Replies waiting beyond this many push the oldest out.
    static constexpr std::size_t kMaxWaitingReplies = 1000;

    Link(SerialLine& com1, SerialLine& com2, Clock& clock, Dialogs& dialogs, LinkView& view,
         QObject* parent = nullptr);
    ~Link() override;

    SerialLine& ComPort1() { return com1_; }
    SerialLine& ComPort2() { return com2_; }

    // What to do when a port cannot be opened at all: the program is asked to end. The request
    // takes effect once control is back in the event loop; the caller runs on until then.
    void setTerminateRequest(std::function<void()> request) { terminate_ = std::move(request); }
    void setDebugLevel(int level) { DebugLevel = level; }
    // The language offset of the texts the link composes itself (0 German, 1000 English).
    void setLanguage(int offset) { language_ = offset; }
    void setDebugLog(std::unique_ptr<DebugLog> log) { debugLog_ = std::move(log); }

    // Queues live from start-up to the close of the window. Lines that arrive while a queue does
    // not exist are dropped.
    void createQueues(bool withSecondDataQueue);
    void releaseQueues();
    LineQueue* ReplyQueue() { return replyQueue_.get(); }
    LineQueue* DataQueue1() { return dataQueue1_.get(); }
    LineQueue* DataQueue2() { return dataQueue2_.get(); }

    // Why a port did not open, in the program's language: the text and the box's caption (the
    // device for a missing one), and whether the device was there but refused to open.
    struct OpenProblem {
        QString text, caption;
        bool failedToOpen = false;
    };
    // Opens `port` with the line settings and says nothing: what went wrong goes to `problem`.
    bool openPort(SerialLine& port, OpenProblem* problem);
    // The same, with the problem in a box; a device that is there but refuses to open asks the
    // program to end.
    bool OpenComPort(SerialLine& port);
    void SendCommand(SerialLine& port, const QString& text);
    QString ReadReply(bool echo);
    // Sends and returns the first reply line that turns up within 5 s (monotonic), else "".
    // Pending events keep running meanwhile, without spinning the processor.
    QString SendAndWait(SerialLine& port, const QString& SendMsg);
    // The same for an exchange whose answer has a known form: only a line from `port` that
    // `accepted` takes ends the wait. Other lines taken meanwhile (left over from earlier traffic,
    // say) are noted in the debug log and skipped; the 5 s still count from the send.
    QString SendAndWaitFor(SerialLine& port, const QString& SendMsg,
                           const std::function<bool(const QString&)>& accepted);
    // Throws away everything the port holds that nobody has taken yet: what the line and its
    // driver still hold, a partial line, and the port's lines waiting in the queues.
    void discardInput(SerialLine& port);

    // A line that went away (device removed, far end closed) is opened again once its device is
    // back: tried from the tick, at most once a second. The run goes on meanwhile; commands for
    // a line that is down are dropped without a message box each (the loss was reported once).
    static constexpr Millis kReconnectInterval{1000};
    void reconnectStep();
    bool lineDown(const SerialLine& port) const;
    // Whether the line was down at any moment since `since` (monotonic), or is down now.
    bool wasDownSince(const SerialLine& port, Millis since) const;
    // Commands dropped because their line was down, since the program started.
    int commandsDroppedWhileDown() const { return droppedWhileDown_; }

    // A note for the operator and the debug log about one port (a dropped line, a lost device).
    void logLine(const QString& device, const QString& text);
    // The device the reply last taken by ReadReply came from.
    const QString& lastReplyDevice() const { return lastReplyDevice_; }

    // Receive handlers of the two ports.
    void ComPort1RxChar();
    void ComPort2RxChar();

    int DebugLevel = 0;

Q_SIGNALS:
    // A port went away (device removed, far end closed).
    void portLost(const QString& deviceName, const QString& reason);
    // A lost port is open again.
    void portBack(const QString& deviceName);

private:
    struct Port {
        SerialLine& line;
        LineAssembler assembler;
        int number;
        bool down = false;
        Millis lastAttempt{0};
        std::optional<Millis> lastLoss{}, lastBack{};
    };
    Port* portOf(const SerialLine& line) const;
    void receive(Port& port);
    void queueLine(Port& port, const QByteArray& line);
    void onLost(Port& port, const QString& reason);
    void debug(const QString& port, const QString& direction, const QString& text);

    SerialLine& com1_;
    SerialLine& com2_;
    Clock& clock_;
    Dialogs& dialogs_;
    LinkView& view_;
    std::function<void()> terminate_;
    std::unique_ptr<DebugLog> debugLog_;
    std::unique_ptr<LineQueue> replyQueue_;
    std::unique_ptr<LineQueue> dataQueue1_;
    std::unique_ptr<LineQueue> dataQueue2_;
    // The port each reply came from, alongside ReplyQueue. Kept no longer than the queue itself,
    // also when someone empties the queue directly.
    std::deque<int> replyPorts_;
    void trimReplyPorts();
    QString lastReplyDevice_;
    int lastReplyPort_ = 0;
    std::unique_ptr<Port> port1_;
    std::unique_ptr<Port> port2_;
    int droppedWhileDown_ = 0;
    int language_ = 0;
    std::size_t repliesDropped_ = 0;
};

} // namespace korvat
