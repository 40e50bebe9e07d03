#include "ui/QtDialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRegularExpression>

namespace korvat {

namespace {

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text, const QString& caption) {
    QMessageBox box(icon, caption.isEmpty() ? QGuiApplication::applicationDisplayName() : caption,
                    text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& folder,
                      const QString& filter, QString& last) {
    QFileDialog dialog(parent, QString(), folder.isEmpty() ? last : folder, qtFileFilter(filter));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    if (mode == QFileDialog::AcceptSave)
        dialog.setDefaultSuffix(defaultSuffix(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    last = dialog.selectedFiles().constFirst();
    return last;
}

} // namespace

QString qtFileFilter(const QString& filter) {
    if (!filter.contains(QLatin1Char('|')))
        return filter;
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt separates patterns with blanks where the other form uses semicolons.
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i].trimmed() + QStringLiteral(" (") + patterns.simplified() +
                       QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

QString defaultSuffix(const QString& filter) {
    static const QRegularExpression firstPattern(QStringLiteral("\\*\\.([A-Za-z0-9_]+)"));
    const QRegularExpressionMatch match = firstPattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

void QtDialogs::message(const QString& text, const QString& caption) {
    showBox(m_parent, QMessageBox::NoIcon, text, caption);
}

void QtDialogs::information(const QString& text) {
    showBox(m_parent, QMessageBox::Information, text, {});
}

void QtDialogs::error(const QString& text) {
    showBox(m_parent, QMessageBox::Critical, text, {});
}

bool QtDialogs::question(const QString& text) {
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::saveFileName(const QString& folder, const QString& filter) {
    return runFileDialog(m_parent, QFileDialog::AcceptSave, folder, filter, m_lastSave);
}

QString QtDialogs::openFileName(const QString& folder, const QString& filter) {
    return runFileDialog(m_parent, QFileDialog::AcceptOpen, folder, filter, m_lastOpen);
}

} // namespace korvat
