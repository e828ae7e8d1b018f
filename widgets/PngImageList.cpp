#include "PngImageList.h"

#include <QPainter>

TPngImageList::TPngImageList(QObject* parent)
    : QObject(parent)
{ }

void TPngImageList::SetWidth(int width)
{
    m_width = width;
    rebuild();
}

void TPngImageList::SetHeight(int height)
{
    m_height = height;
    rebuild();
}

void TPngImageList::SetEnabledImages(bool enabled)
{
    if (enabled == m_enabledImages)
        return;
    m_enabledImages = enabled;
    rebuild();
}

void TPngImageList::SetPngOptions(TPngOptions options)
{
    if (options == m_options)
        return;
    m_options = options;
    rebuild();
}

const TPngImageCollectionItem* TPngImageList::item(int index) const
{
    return (index >= 0 && index < Count()) ? &m_items[static_cast<std::size_t>(index)] : nullptr;
}

QImage TPngImageList::pngImage(int index) const
{
    const TPngImageCollectionItem* found = item(index);
    return found ? found->PngImage : QImage();
}

int TPngImageList::Add(const QImage& image, const QString& name)
{
    Insert(Count(), image, name);
    return Count() - 1;
}

void TPngImageList::Insert(int index, const QImage& image, const QString& name)
{
    index = std::clamp(index, 0, Count());
    TPngImageCollectionItem item;
    item.PngImage = image;
    item.Name = name.isEmpty() ? QStringLiteral("PngImage%1").arg(Count()) : name;
    m_items.insert(m_items.begin() + index, std::move(item));
    rebuild();
}

void TPngImageList::Replace(int index, const QImage& image)
{
    if (index < 0 || index >= Count())
        return;
    m_items[static_cast<std::size_t>(index)].PngImage = image;
    rebuild();
}

void TPngImageList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_items.erase(m_items.begin() + index);
    rebuild();
}

void TPngImageList::Move(int from, int to)
{
    if (from < 0 || from >= Count() || to < 0 || to >= Count() || from == to)
        return;
    TPngImageCollectionItem moved = std::move(m_items[static_cast<std::size_t>(from)]);
    m_items.erase(m_items.begin() + from);
    m_items.insert(m_items.begin() + to, std::move(moved));
    rebuild();
}

void TPngImageList::Clear()
{
    m_items.clear();
    rebuild();
}

void TPngImageList::Assign(const TPngImageList& source)
{
    if (&source == this)
        return;
    m_items = source.m_items;
    m_enabledImages = source.m_enabledImages;
    rebuild();
}

void TPngImageList::EndUpdate(bool rebuildNow)
{
    if (m_updateCount > 0 && --m_updateCount == 0 && rebuildNow)
        rebuild();
}

void TPngImageList::rebuild()
{
    if (m_updateCount > 0)
        return;
    m_drawn.clear();
    for (const TPngImageCollectionItem& item : m_items) {
        QImage picture = item.PngImage;
        if (!m_enabledImages && m_options) {
            if (m_options & pngBlendOnDisabled)
                FadePng(picture, 127);
            if (m_options & pngGrayscaleOnDisabled)
                GreyPng(picture, 255);
        }
        QPixmap drawn(m_width, m_height);
        drawn.fill(Qt::transparent);
        if (!picture.isNull()) {
            QPainter painter(&drawn);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(0, 0, m_width, m_height), picture);
        }
        m_drawn.push_back(drawn);
    }
    emit changed();
}

void TPngImageList::Draw(QPainter& painter, int x, int y, int index, bool enabled) const
{
    const TPngImageCollectionItem* found = item(index);
    if (!found)
        return;
    if (enabled && m_enabledImages && m_updateCount == 0 && index < static_cast<int>(m_drawn.size())) {
        painter.drawPixmap(x, y, m_drawn[static_cast<std::size_t>(index)]);
        return;
    }
    const QRect rect(x, y, m_width, m_height);
    DrawPngWithOptions(found->PngImage, painter, rect, enabled ? TPngOptions() : m_options);
}
