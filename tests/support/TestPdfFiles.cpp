#include "support/TestPdfFiles.h"

#include "support/Compressed.h"

#include <QBuffer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

QByteArray TestPdfFiles::ofObjects(const QList<QByteArray>& objects) {
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype index = 0; index < objects.size(); ++index) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(index + 1) + " 0 obj\n";
        const QByteArray& object = objects[index];
        if (object.startsWith("stream:")) {
            const qsizetype bar = object.indexOf('|');
            const QByteArray data = object.mid(bar + 1);
            QByteArray dictionary = object.mid(7, bar - 7);
            dictionary.chop(2); // its closing ">>"
            pdf += dictionary + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" +
                   data + "\nendstream";
        } else {
            pdf += object;
        }
        pdf += "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

QByteArray TestPdfFiles::halfFilledPages(const QList<QColor>& colours) {
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A5));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(72);
    QPainter painter(&writer);
    for (qsizetype page = 0; page < colours.size(); ++page) {
        if (page > 0)
            writer.newPage();
        const QRect whole = painter.viewport();
        painter.fillRect(QRect(0, 0, whole.width() / 2, whole.height()), colours[page]);
    }
    painter.end();
    return pdf;
}

QByteArray TestPdfFiles::standardFontText() {
    return ofObjects({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "stream:<< >>|BT /F1 60 Tf 10 30 Td (MWM) Tj ET",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    });
}

QByteArray TestPdfFiles::manyShapes(int pages, qint64 contentBytes) {
    QByteArray kids;
    for (int page = 0; page < pages; ++page)
        kids += QByteArray::number(4 + page) + " 0 R ";
    QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>",
        "stream:<< /Filter /FlateDecode >>|" +
            Compressed::deflated("0.5 g\n", "1 2 3 4 re f\n", contentBytes, 15),
    };
    for (int page = 0; page < pages; ++page) {
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 420 595] /Contents 3 0 R >>");
    }
    return ofObjects(objects);
}
