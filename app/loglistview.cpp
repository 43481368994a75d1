#include "app/loglistview.h"

#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

#include "common/qtcommon.h"
#include "logdata/loadcommands.h"

namespace brevadin {

LogListView::LogListView(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("lsvLogList"));
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("ファイル名"), QStringLiteral("サイズ")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    header()->setStretchLastSection(false);
    header()->resizeSection(0, pixelsFromTwips(this, 2540));
    header()->resizeSection(1, pixelsFromTwips(this, 1411));
}

QStringList LogListView::selectedNames() const {
    QStringList names;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected()) names << topLevelItem(i)->text(0);
    return names;
}

std::vector<std::string> LogListView::selectedFileNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            names.push_back(topLevelItem(i)->data(0, Qt::UserRole).toByteArray().toStdString());
    return names;
}

void LogListView::addFile(const std::string& name, const QString& size) {
    auto* row = new QTreeWidgetItem(this);
    row->setText(0, visibleName(name));
    row->setData(0, Qt::UserRole, QByteArray::fromStdString(name));
    row->setText(1, size);
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
}

QString LogListView::visibleName(std::string_view bytes) {
    QString out;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        size_t length = lead < 0x80             ? 1
                        : (lead & 0xE0) == 0xC0 ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
        bool valid = length > 0 && i + length <= bytes.size();
        for (size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        if (valid && length > 1) {
            // Overlong forms and surrogates do not survive the round trip.
            const QString one = QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(length));
            valid = one.toUtf8() == QByteArray(bytes.data() + i, static_cast<qsizetype>(length));
            if (valid) out += one;
        } else if (valid) {
            out += QLatin1Char(static_cast<char>(lead));
        }
        if (valid) {
            i += length;
        } else {
            out += QStringLiteral("\\x") +
                   QString::number(lead, 16).rightJustified(2, QLatin1Char('0')).toUpper();
            ++i;
        }
    }
    return out;
}

void LogListView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & ~Qt::KeypadModifier)) {
        Q_EMIT enterPressed();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

QStringList LogListView::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* LogListView::mimeData(const QList<QTreeWidgetItem*>&) const {
    // Full paths of every selected item, in list order, percent-encoded from
    // their bytes so that a name that is not UTF-8 arrives as it is.
    QList<QUrl> urls;
    for (const std::string& name : selectedFileNames())
        urls << QUrl::fromEncoded(
            "file://" +
            QByteArray::fromStdString(logPath(folder_.toStdString(), name)).toPercentEncoding("/"));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void LogListView::startDrag(Qt::DropActions) {
    if (selectedNames().isEmpty()) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(mimeData({}));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

}  // namespace brevadin
