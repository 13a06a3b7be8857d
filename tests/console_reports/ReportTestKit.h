#pragma once

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

// Small helpers shared by the report tests.
namespace reportkit {

// The report file's lines (CR LF ends); an empty list when the file does not exist.
inline QStringList fileLines(const QString& path, bool* crlfOnly = nullptr) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    if (crlfOnly) {
        // Every LF that ends a line is preceded by CR, and the file ends with CR LF.
        *crlfOnly = bytes.isEmpty() || bytes.endsWith("\r\n");
    }
    QString text = QString::fromUtf8(bytes);
    if (text.isEmpty()) return {};
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// Runs fn on the next modal dialog as soon as it is up (driving a dialog that exec() waits on).
inline void onNextModal(std::function<void(QDialog*)> fn) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            fn(d);
        }
    });
    timer->start();
}

inline QList<QWidget*> topLevels(const QString& name) {
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name) found << w;
    return found;
}

} // namespace reportkit
