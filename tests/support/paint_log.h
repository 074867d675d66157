// Records the paints a widget receives, as an event filter: how many, and the regions asked for.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QRegion>

#include <vector>

namespace lpt::testing {

class PaintLog : public QObject {
public:
    std::vector<QRegion> regions;

    int Paints() const { return static_cast<int>(regions.size()); }
    QRegion Union() const {
        QRegion all;
        for (const QRegion& r : regions) all += r;
        return all;
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) regions.push_back(static_cast<QPaintEvent*>(e)->region());
        return false;
    }
};

}  // namespace lpt::testing
