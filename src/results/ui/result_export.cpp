// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ui/result_export.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include "results/ui/overview_tab.h"
#include "suite/resource_strings.h"
#include "suite/ui/qt_text.h"

namespace runemeter {

namespace {

// The size the charts are drawn in, whatever size the tab has on screen.
constexpr int kPictureWidth = 900;
constexpr int kPictureHeight = 1000;

}  // namespace

QString saveWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // Without this a folder the user may not write in would be written to directly.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

QByteArray chartsPicture(TOverviewTab& overview, SaveForm form) {
    const QRect area(0, 0, kPictureWidth, kPictureHeight);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (form == SaveForm::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(area.size());
        svg.setViewBox(area);
        svg.setTitle(QStringLiteral("Runemeter"));
        QPainter painter(&svg);
        overview.paintCharts(painter, area);
        painter.end();
        return bytes;
    }
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    overview.paintCharts(painter, area);
    painter.end();
    image.save(&buffer, "PNG");
    return bytes;
}

QStringList saveFilters() {
    QStringList filters;
    for (const ResId id : {ResId::VTFilterCopyText, ResId::VTFilterTable, ResId::VTFilterCsv,
                           ResId::VTFilterJson, ResId::VTFilterPng, ResId::VTFilterSvg}) {
        filters << resourceText(id);
    }
    return filters;
}

}  // namespace runemeter
