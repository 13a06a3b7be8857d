#pragma once

#include <QList>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>

// The words of a PDF with their boxes in points, as poppler's pdftotext -bbox reads them.
struct PdfWord {
    int page;
    QRectF box;
    QString text;
};

struct PdfText {
    QList<QSizeF> pages;
    QList<PdfWord> words;
    QString error; // set when the PDF could not be read

    QList<PdfWord> onPage(int page) const {
        QList<PdfWord> found;
        for (const PdfWord& w : words)
            if (w.page == page) found << w;
        return found;
    }

    static PdfText read(const QString& pdf) {
        PdfText t;
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
            t.error = QStringLiteral("pdftotext (poppler-utils) is not installed; run scripts/setup");
            return t;
        }
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            t.error =
                QStringLiteral("pdftotext failed on %1: %2").arg(pdf, QString::fromLocal8Bit(p.readAllStandardError()));
            return t;
        }
        const QString html = QString::fromUtf8(p.readAllStandardOutput());
        static const QRegularExpression item(
            QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" )re"
                           R"re(xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
        for (auto m = item.globalMatch(html); m.hasNext();) {
            const auto hit = m.next();
            if (!hit.captured(1).isEmpty()) {
                t.pages << QSizeF(hit.captured(1).toDouble(), hit.captured(2).toDouble());
            } else {
                const QRectF box(QPointF(hit.captured(3).toDouble(), hit.captured(4).toDouble()),
                                 QPointF(hit.captured(5).toDouble(), hit.captured(6).toDouble()));
                t.words << PdfWord{int(t.pages.size()) - 1, box, hit.captured(7)};
            }
        }
        return t;
    }
};
