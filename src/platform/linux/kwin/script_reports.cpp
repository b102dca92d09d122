// Decoding the script's reports with Qt's JSON parser, and encoding the move batches.
#include "platform/linux/kwin/script_reports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

#include "platform/linux/kwin/batched_moves.h"

namespace tallowmere::kwin {
namespace {

// Far beyond any desktop, small enough that sums of two stay inside an int.
constexpr double kCoordinateLimit = 1 << 24;
constexpr qsizetype kTextLimit = 1024;
constexpr qsizetype kWindowLimit = 10000;
constexpr qsizetype kScreenLimit = 64;

std::optional<int> coordinate(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble() || !std::isfinite(v.toDouble())) {
        return std::nullopt;
    }
    return int(std::lround(std::clamp(v.toDouble(), -kCoordinateLimit, kCoordinateLimit)));
}

std::optional<FrameRect> rect(const QJsonObject& o, const char* x, const char* y, const char* w,
                              const char* h) {
    auto rx = coordinate(o, x), ry = coordinate(o, y), rw = coordinate(o, w), rh = coordinate(o, h);
    if (!rx || !ry || !rw || !rh || *rw < 0 || *rh < 0) {
        return std::nullopt;
    }
    return FrameRect{*rx, *ry, *rw, *rh};
}

std::optional<QJsonDocument> parse(std::string_view json) {
    QJsonParseError error{};
    auto doc = QJsonDocument::fromJson(QByteArray(json.data(), qsizetype(json.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        return std::nullopt;
    }
    return doc;
}

std::optional<ReportedWindow> windowFrom(const QJsonObject& o) {
    const QJsonValue id = o.value(QLatin1String("id"));
    const QJsonValue cls = o.value(QLatin1String("resourceClass"));
    const auto frame = rect(o, "x", "y", "width", "height");
    if (!id.isString() || id.toString().isEmpty() || id.toString().size() > kTextLimit ||
        !cls.isString() || !frame) {
        return std::nullopt;
    }
    ReportedWindow w;
    w.id = id.toString().toStdString();
    w.resourceClass = cls.toString().left(kTextLimit).toStdString();
    const QJsonValue pid = o.value(QLatin1String("pid"));
    if (pid.isDouble() && pid.toDouble() > 0 && pid.toDouble() < 1 << 30) {
        w.pid = Pid(pid.toDouble());
    }
    w.frame = *frame;
    auto flag = [&o](const char* key, bool fallback) {
        const QJsonValue v = o.value(QLatin1String(key));
        return v.isBool() ? v.toBool() : fallback;
    };
    w.normal = flag("normal", false);
    w.dialog = flag("dialog", false);
    w.transient = flag("transient", false);
    w.panel = flag("panel", false);
    w.minimized = flag("minimized", false);
    w.onCurrentDesktop = flag("onCurrentDesktop", true);
    return w;
}

}  // namespace

std::optional<ReportedWindow> decodeWindow(std::string_view json) {
    auto doc = parse(json);
    if (!doc || !doc->isObject()) {
        return std::nullopt;
    }
    return windowFrom(doc->object());
}

std::optional<Snapshot> decodeSnapshot(std::string_view json) {
    auto doc = parse(json);
    if (!doc || !doc->isObject()) {
        return std::nullopt;
    }
    const QJsonObject o = doc->object();
    const QJsonValue windows = o.value(QLatin1String("windows"));
    const QJsonValue screens = o.value(QLatin1String("screens"));
    if (!windows.isArray() || !screens.isArray()) {
        return std::nullopt;
    }
    Snapshot snapshot;
    for (const QJsonValue& v : windows.toArray()) {
        if (snapshot.windows.size() >= std::size_t(kWindowLimit)) {
            break;
        }
        if (auto w = v.isObject() ? windowFrom(v.toObject()) : std::nullopt) {
            snapshot.windows.push_back(std::move(*w));
        }
    }
    for (const QJsonValue& v : screens.toArray()) {
        if (snapshot.screens.size() >= std::size_t(kScreenLimit) || !v.isObject()) {
            continue;
        }
        const QJsonObject s = v.toObject();
        auto frame = rect(s, "x", "y", "width", "height");
        auto area = rect(s, "areaX", "areaY", "areaWidth", "areaHeight");
        if (frame && frame->width > 0 && frame->height > 0) {
            snapshot.screens.push_back({*frame, area.value_or(*frame)});
        }
    }
    const QJsonValue active = o.value(QLatin1String("active"));
    if (active.isString() && active.toString().size() <= kTextLimit) {
        snapshot.active = active.toString().toStdString();
    }
    return snapshot;
}

std::string encodeBatch(const std::vector<Move>& moves, const std::vector<Placement>& placements) {
    QJsonArray moveList;
    for (const Move& m : moves) {
        moveList.append(QJsonArray{QString::fromStdString(m.window), m.x, m.y});
    }
    QJsonArray placeList;
    for (const Placement& p : placements) {
        placeList.append(QJsonArray{QString::fromStdString(p.title), p.frame.x, p.frame.y,
                                    p.frame.width, p.frame.height});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("moves"), moveList},
                                     {QStringLiteral("place"), placeList}})
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

}  // namespace tallowmere::kwin
