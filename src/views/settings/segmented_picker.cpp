#include "views/settings/segmented_picker.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace tovalit {

namespace {

QString segmentStyle(bool first, bool last) {
    const QColor brand = TovalitPalette::brandStrong();
    const QString left = first ? QStringLiteral("6px") : QStringLiteral("0px");
    const QString right = last ? QStringLiteral("6px") : QStringLiteral("0px");
    return QStringLiteral("QPushButton { background: rgba(255, 255, 255, 190); color: %1;"
                          " border: 1px solid rgba(0, 0, 0, 36); padding: 3px 16px;"
                          " border-top-left-radius: %2; border-bottom-left-radius: %2;"
                          " border-top-right-radius: %3; border-bottom-right-radius: %3; %4 }"
                          "QPushButton:checked { background: %5; color: white; border-color: %5; }")
        .arg(TovalitPalette::primary().name(), left, right,
             last ? QString() : QStringLiteral("border-right: none;"), brand.name());
}

} // namespace

SegmentedPicker::SegmentedPicker(const QString &title, QList<Option> options, QWidget *parent)
    : QWidget(parent)
    , m_options(std::move(options)) {
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    auto *label = new TovalitTextLabel(title, tovalitFont(13), TovalitPalette::primary(), this);
    label->setWraps(false);
    row->addWidget(label);

    auto *segments = new QHBoxLayout;
    segments->setSpacing(0);
    for (qsizetype index = 0; index < m_options.size(); ++index) {
        auto *segment = new QPushButton(m_options[index].label, this);
        segment->setCheckable(true);
        segment->setFont(tovalitFont(12));
        segment->setCursor(Qt::PointingHandCursor);
        segment->setStyleSheet(segmentStyle(index == 0, index == m_options.size() - 1));
        segments->addWidget(segment);
        m_segments.append(segment);
        const QString value = m_options[index].value;
        connect(segment, &QPushButton::clicked, this, [this, value] {
            // A click on the selected segment keeps it selected.
            setValue(value);
            Q_EMIT valueChosen(value);
        });
    }
    row->addLayout(segments);
    row->addStretch(1);
}

void SegmentedPicker::setValue(const QString &value) {
    for (qsizetype index = 0; index < m_options.size(); ++index)
        m_segments[index]->setChecked(m_options[index].value == value);
}

QString SegmentedPicker::value() const {
    for (qsizetype index = 0; index < m_options.size(); ++index) {
        if (m_segments[index]->isChecked())
            return m_options[index].value;
    }
    return {};
}

QPushButton *SegmentedPicker::segment(int index) const {
    return m_segments.value(index);
}

} // namespace tovalit
