// The floor for monitoring: what any Qt program must spend to show both detectors live. It opens
// the instrument's two ports (115200 baud, 8 data bits, 2 stop bits, no parity), starts both
// converters' bursts, reads their lines as they come, takes each data line's value and puts it on
// a QCustomPlot of the program's chart size (two graphs, 0.1 s apart, the latest 300 s shown and
// following), repainted at most five times a second when something new came. Nothing else: no
// status poll, no log, no settings, no files. bench/monitoring-floor.sh runs it beside korvat.
//
// Usage: monitoring_floor PORT_A PORT_B

#include <QApplication>
#include <QSerialPort>
#include <QTimer>
#include <cstdio>
#include <qcustomplot.h>

namespace {

// "[x0FFFFF": marker, one character, the sign ("0" negative), five hexadecimal digits.
bool sampleOf(const QByteArray& line, double* value) {
    if (line.size() < 8 || (line[0] != '[' && line[0] != '/' && line[0] != ']'))
        return false;
    bool ok = false;
    const int m = line.mid(3, 5).toInt(&ok, 16);
    if (!ok)
        return false;
    *value = line[2] == '0' ? m - 0xFFFFF : m;
    return true;
}

struct Port {
    QSerialPort serial;
    QByteArray pending;
    QCPGraph* graph = nullptr;
    double next = 0; // the next sample's time, s
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: monitoring_floor PORT_A PORT_B\n");
        return 2;
    }
    QCustomPlot plot;
    plot.resize(974, 455);
    Port ports[2];
    bool fresh = false;
    double newest = 0;
    for (int i = 0; i < 2; ++i) {
        Port& p = ports[i];
        p.graph = plot.addGraph(i == 0 ? plot.xAxis : plot.xAxis, i == 0 ? plot.yAxis : plot.yAxis2);
        p.graph->setPen(QPen(i == 0 ? Qt::blue : Qt::red));
        p.serial.setPortName(QString::fromLocal8Bit(argv[1 + i]));
        p.serial.setBaudRate(115200);
        p.serial.setDataBits(QSerialPort::Data8);
        p.serial.setStopBits(QSerialPort::TwoStop);
        p.serial.setParity(QSerialPort::NoParity);
        if (!p.serial.open(QIODevice::ReadWrite)) {
            std::fprintf(stderr, "%s: %s\n", argv[1 + i], qPrintable(p.serial.errorString()));
            return 1;
        }
        QObject::connect(&p.serial, &QSerialPort::readyRead, [&p, &fresh, &newest] {
            p.pending += p.serial.readAll();
            qsizetype start = 0;
            for (qsizetype i = 0; i < p.pending.size(); ++i) {
                const char c = p.pending[i];
                if (c != '\r' && c != '\n')
                    continue;
                double v = 0;
                if (sampleOf(p.pending.mid(start, i - start), &v)) {
                    p.graph->addData(p.next, v);
                    newest = std::max(newest, p.next);
                    p.next += 0.1;
                    fresh = true;
                }
                start = i + 1;
            }
            p.pending.remove(0, start);
        });
        p.serial.write("<12B1100\r<12W1100\r<12Z1100\r");
    }
    plot.yAxis2->setVisible(true);
    plot.yAxis->setRange(-20000, 250000);
    plot.yAxis2->setRange(-20000, 250000);
    plot.xAxis->setRange(0, 300);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] {
        if (!fresh)
            return;
        fresh = false;
        if (newest > 300)
            plot.xAxis->setRange(newest - 300, newest);
        plot.replot();
    });
    repaint.start(200);
    plot.show();
    return app.exec();
}
