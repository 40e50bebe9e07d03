#include "server/HabitCli.h"

#include "model/OptionText.h"

#include <algorithm>

namespace korvat::sim {

namespace {

QString invalid(const QCommandLineOption& option, const QString& value) {
    return QStringLiteral("invalid value \"%1\" for --%2").arg(value, option.names().first());
}

// Longest a text option may make a line; the program's own limit is far beyond.
constexpr qsizetype kMaxText = 200;

bool isLineEndByte(char c) { return c == '\r' || c == '\n'; }

} // namespace

HabitCli::HabitCli()
    : identA_(QStringLiteral("ident-a"),
              QStringLiteral("The exact line the main converter answers to \"<SN\", without the line "
                             "end (\\r and \\n stand for CR and LF); empty: no answer. Default "
                             "\":SN4A01-0815\"."),
              QStringLiteral("text")),
      identB_(QStringLiteral("ident-b"),
              QStringLiteral("The same for the FPD converter (with --fidfpd). Default "
                             "\":SN2B01-0816\"."),
              QStringLiteral("text")),
      lineEnd_(QStringLiteral("line-end"),
               QStringLiteral("How every line ends: cr (default), crlf or lfcr."),
               QStringLiteral("end")),
      replyDelay_(QStringLiteral("reply-delay"),
                  QStringLiteral("Every answer leaves <ms> milliseconds after its command "
                                 "arrived; data lines are not held back. Default 0."),
                  QStringLiteral("ms")),
      chunk_(QStringLiteral("chunk"),
             QStringLiteral("Bytes leave in pieces of at most <bytes>, one write each."),
             QStringLiteral("bytes")),
      chunkGap_(QStringLiteral("chunk-gap"),
                QStringLiteral("With --chunk: <ms> milliseconds between the pieces; default 0."),
                QStringLiteral("ms")),
      echo_(QStringLiteral("echo"),
            QStringLiteral("Send every command line back as it came before answering it.")),
      ack_(QStringLiteral("ack"),
           QStringLiteral("How setpoints and on/off commands are answered: echo (\":VS0258\", "
                          "default), none, or text (see --ack-text)."),
           QStringLiteral("mode")),
      ackText_(QStringLiteral("ack-text"),
               QStringLiteral("The answer of --ack text; default \"OK\". Implies --ack text."),
               QStringLiteral("text")),
      ackAll_(QStringLiteral("ack-all"),
              QStringLiteral("Answer register writes, the sample-loop switch and the converter "
                             "commands as --ack says too (by default they get no answer).")),
      replyTail_(QStringLiteral("reply-tail"),
                 QStringLiteral("Characters after the value of every query reply."),
                 QStringLiteral("text")),
      idleStatus_(QStringLiteral("idle-status"),
                  QStringLiteral("What \"<12AS100\" reports while no burst is open: 0 to 999 "
                                 "but 118; default %1.")
                      .arg(WireHabits{}.idleStatus),
                  QStringLiteral("n")),
      dataChannel_(QStringLiteral("data-channel"),
                   QStringLiteral("The second character of the data lines, of port A and port B "
                                  "(one character for both); default AB."),
                   QStringLiteral("chars")),
      plusSign_(QStringLiteral("plus-sign"),
                QStringLiteral("The sign character of a value that is not negative; default 1 "
                               "(0 marks a negative value)."),
                QStringLiteral("char")),
      lowercaseHex_(QStringLiteral("lowercase-hex"),
                    QStringLiteral("The data lines' five digits in lowercase.")),
      dataTail_(QStringLiteral("data-tail"),
                QStringLiteral("Characters after the eighth place of every data line."),
                QStringLiteral("text")),
      burstMarkers_(QStringLiteral("burst-markers"),
                    QStringLiteral("The markers of the lines inside a burst, used in turn: \"[\" "
                                   "(default), \"/\", \"[/\" …"),
                    QStringLiteral("markers")),
      afterStop_(QStringLiteral("after-stop"),
                 QStringLiteral("Data lines port A (and B: n,m) still sends after \"<12Z0100\" "
                                "before its \"]\" line, one sample period apart; default 0."),
                 QStringLiteral("n[,m]")),
      dataBatch_(QStringLiteral("data-batch"),
                 QStringLiteral("Data lines leave <n> at a time; default 1."), QStringLiteral("n")),
      idleClose_(QStringLiteral("idle-close"),
                 QStringLiteral("\"<12Z0100\" sends a \"]\" line also when no burst is open.")),
      samplePeriod_(QStringLiteral("sample-period"),
                    QStringLiteral("Milliseconds between samples; default %1. The program counts "
                                   "ten lines to the second.")
                        .arg(WireHabits{}.samplePeriod.count()),
                    QStringLiteral("ms")) {}

void HabitCli::add(QCommandLineParser& parser) {
    parser.addOptions({identA_, identB_, lineEnd_, replyDelay_, chunk_, chunkGap_, echo_, ack_,
                       ackText_, ackAll_, replyTail_, idleStatus_, dataChannel_, plusSign_,
                       lowercaseHex_, dataTail_, burstMarkers_, afterStop_, dataBatch_,
                       idleClose_, samplePeriod_});
}

QString HabitCli::summary() {
    return QStringLiteral(
        "What the protocol leaves open can be varied (defaults: the virtual instrument's\n"
        "own habits): the identification lines, line ends, answers that come late or in\n"
        "pieces, echoes and acknowledgements, the data lines' markers, sign, digits and\n"
        "tail, lines after the stop, a \"]\" line at every stop, lines in batches, the\n"
        "sample period, the idle status.");
}

QString HabitCli::apply(const QCommandLineParser& parser, const QCommandLineOption& mainId,
                        const QCommandLineOption& fpdId, InstrumentOptions& options) const {
    WireHabits& h = options.habits;

    const struct {
        const QCommandLineOption& exact;
        const QCommandLineOption& older;
        QByteArray& target;
        bool needsFpd;
    } idents[] = {{identA_, mainId, options.mainIdentification, false},
                  {identB_, fpdId, options.fpdIdentification, true}};
    for (const auto& ident : idents) {
        if (parser.isSet(ident.exact) && parser.isSet(ident.older))
            return QStringLiteral("--%1 and --%2 exclude each other")
                .arg(ident.exact.names().first(), ident.older.names().first());
        if (parser.isSet(ident.older))
            ident.target = ":SN" + parser.value(ident.older).toLatin1();
        if (!parser.isSet(ident.exact))
            continue;
        if (ident.needsFpd && !options.twoConverters)
            return QStringLiteral("--%1 needs --fidfpd").arg(ident.exact.names().first());
        const QByteArray text = unescapeLineText(parser.value(ident.exact));
        if (text.size() > kMaxText)
            return invalid(ident.exact, parser.value(ident.exact));
        ident.target = text;
    }

    if (parser.isSet(lineEnd_)) {
        const QString end = parser.value(lineEnd_).trimmed().toLower();
        if (end == QLatin1String("cr"))
            h.lineEnd = LineEnd::Cr;
        else if (end == QLatin1String("crlf"))
            h.lineEnd = LineEnd::CrLf;
        else if (end == QLatin1String("lfcr"))
            h.lineEnd = LineEnd::LfCr;
        else
            return invalid(lineEnd_, parser.value(lineEnd_));
    }

    // Whole-number options and their ranges.
    const struct {
        const QCommandLineOption& option;
        int low;
        int high;
        int* target;
    } wholes[] = {
        {chunk_, 1, 4096, &h.chunkBytes},
        {idleStatus_, 0, 999, &h.idleStatus},
        {dataBatch_, 1, 100, &h.dataBatch},
    };
    for (const auto& whole : wholes) {
        if (!parser.isSet(whole.option))
            continue;
        const std::optional<int> value =
            parseWhole(parser.value(whole.option), whole.low, whole.high);
        if (!value)
            return invalid(whole.option, parser.value(whole.option));
        *whole.target = *value;
    }
    if (h.idleStatus == VirtualInstrument::kBurstStatus)
        return QStringLiteral("--idle-status cannot be %1, the status of an open burst")
            .arg(VirtualInstrument::kBurstStatus);
    const struct {
        const QCommandLineOption& option;
        int low;
        int high;
        Millis* target;
    } times[] = {
        {replyDelay_, 0, 60000, &h.replyDelay},
        {chunkGap_, 0, 1000, &h.chunkGap},
        {samplePeriod_, 10, 10000, &h.samplePeriod},
    };
    for (const auto& time : times) {
        if (!parser.isSet(time.option))
            continue;
        const std::optional<int> value =
            parseWhole(parser.value(time.option), time.low, time.high);
        if (!value)
            return invalid(time.option, parser.value(time.option));
        *time.target = Millis(*value);
    }
    if (parser.isSet(chunkGap_) && !parser.isSet(chunk_))
        return QStringLiteral("--chunk-gap needs --chunk");

    h.echo = parser.isSet(echo_);
    h.ackEveryCommand = parser.isSet(ackAll_);
    if (parser.isSet(ack_)) {
        const QString mode = parser.value(ack_).trimmed().toLower();
        if (mode == QLatin1String("echo"))
            h.ack = AckMode::Echo;
        else if (mode == QLatin1String("none"))
            h.ack = AckMode::None;
        else if (mode == QLatin1String("text"))
            h.ack = AckMode::Text;
        else
            return invalid(ack_, parser.value(ack_));
    }

    // Texts that become part of a line must not end it.
    const struct {
        const QCommandLineOption& option;
        QByteArray& target;
    } texts[] = {{ackText_, h.ackText}, {replyTail_, h.replyTail}, {dataTail_, h.data.tail}};
    for (const auto& text : texts) {
        if (!parser.isSet(text.option))
            continue;
        const QByteArray bytes = unescapeLineText(parser.value(text.option));
        if (bytes.size() > kMaxText || std::any_of(bytes.begin(), bytes.end(), isLineEndByte))
            return invalid(text.option, parser.value(text.option));
        text.target = bytes;
    }
    if (parser.isSet(ackText_)) {
        if (parser.isSet(ack_) && h.ack != AckMode::Text)
            return QStringLiteral("--ack-text goes with --ack text only");
        h.ack = AckMode::Text;
    }
    if (h.ack == AckMode::Text && h.ackText.isEmpty())
        return QStringLiteral("--ack text needs a text that is not empty; use --ack none for "
                              "no answer");

    if (parser.isSet(dataChannel_)) {
        const QByteArray chars = parser.value(dataChannel_).toLatin1();
        if (chars.isEmpty() || chars.size() > 2 ||
            std::any_of(chars.begin(), chars.end(), isLineEndByte))
            return invalid(dataChannel_, parser.value(dataChannel_));
        h.dataChannel = {chars[0], chars[chars.size() - 1]};
    }
    if (parser.isSet(plusSign_)) {
        const QByteArray sign = parser.value(plusSign_).toLatin1();
        if (sign.size() != 1 || sign[0] == '0' || isLineEndByte(sign[0]))
            return invalid(plusSign_, parser.value(plusSign_));
        h.data.plusSign = sign[0];
    }
    h.data.lowercaseHex = parser.isSet(lowercaseHex_);
    h.closingLineWhenIdle = parser.isSet(idleClose_);
    if (parser.isSet(burstMarkers_)) {
        const QByteArray markers = parser.value(burstMarkers_).toLatin1();
        if (markers.isEmpty() || markers.size() > 16 ||
            !std::all_of(markers.begin(), markers.end(), [](char c) { return c == '[' || c == '/'; }))
            return invalid(burstMarkers_, parser.value(burstMarkers_));
        h.data.openMarkers = markers;
    }
    if (parser.isSet(afterStop_)) {
        const QStringList parts = parser.value(afterStop_).split(QLatin1Char(','));
        if (parts.size() > 2 || (parts.size() == 2 && !options.twoConverters))
            return invalid(afterStop_, parser.value(afterStop_));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const std::optional<int> lines = parseWhole(parts[i], 0, 100);
            if (!lines)
                return invalid(afterStop_, parser.value(afterStop_));
            h.linesAfterStop[static_cast<std::size_t>(i)] = *lines;
        }
        if (parts.size() == 1)
            h.linesAfterStop[1] = h.linesAfterStop[0];
    }
    return {};
}

} // namespace korvat::sim
