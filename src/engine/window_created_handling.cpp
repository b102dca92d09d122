// A new or restored window of a followed application, and the two manual realign commands.
#include "engine/window_cascade_manager.h"
#include "engine/window_gathering.h"
#include "settings/app_settings.h"

namespace tallowmere {

void WindowCascadeManager::scheduleWindowCreated(const AXElement& window, Pid pid) {
    ports_.loop.dispatchAfter(kNotificationDelay, [weak = weak_from_this(), window, pid] {
        if (auto self = weak.lock()) {
            self->handleWindowCreated(window, pid);
        }
    });
}

void WindowCascadeManager::handleWindowCreated(const AXElement& window, Pid pid) {
    if (!access_.isStandardWindow(window, pid)) {
        log(DiagLine() << "非標準ウィンドウの生成通知のため無視 pid=" << pid);
        return;
    }
    const auto position = access_.readPosition(window);
    const auto size = access_.readSize(window);
    if (!position || !size) {
        log(DiagLine() << "新規ウィンドウの位置・サイズ取得に失敗 pid=" << pid);
        return;
    }
    subscribeWindowDestroyed(window, pid);
    auto found = observations.find(pid);
    if (found == observations.end()) {
        return;
    }
    auto others = gatherStandardWindows(found->second, pid, window);
    if (!others) {
        log(DiagLine() << "ウィンドウ一覧の取得に失敗 pid=" << pid);
        return;
    }
    if (others->empty()) {
        recordKnownRect(window, pid, *position, *size);
        log(DiagLine() << "既存の標準ウィンドウがないため整列不要 pid=" << pid);
        return;
    }
    for (const WindowSnapshot& snapshot : *others) {
        recordKnownRect(snapshot.window, pid, snapshot.position, snapshot.size);
    }
    recordKnownRect(window, pid, *position, *size);
    const Point reference = boundingBoxCentre(rectsOf(*others));
    others->push_back(WindowSnapshot{window, *position, *size});
    arrangeRow(*others, ports_.settings.alignmentAnchor(), window, pid, reference.x, reference.y);
}

void WindowCascadeManager::realignFrontmostApp(AlignmentAnchor anchor) {
    const auto application = ports_.workspace.frontmostApplication();
    const bool watched = application && application->bundleIdentifier &&
                         isActiveBundle(*application->bundleIdentifier);
    if (!watched) {
        feedback_.showToast("監視対象外のアプリです", ports_.screens.mainScreen());
        return;
    }
    realignApp(application->processIdentifier, anchor);
}

void WindowCascadeManager::realignApp(Pid pid, AlignmentAnchor anchor) {
    auto found = observations.find(pid);
    if (found == observations.end()) {
        log(DiagLine() << "手動再整理: pid=" << pid << " が未監視のため何もしません");
        return;
    }
    const auto snapshots = gatherStandardWindows(found->second, pid, std::nullopt);
    if (!snapshots) {
        return;
    }
    for (const WindowSnapshot& snapshot : *snapshots) {
        recordKnownRect(snapshot.window, pid, snapshot.position, snapshot.size);
    }
    const std::size_t n = snapshots->size();
    if (n == 0 || (anchor == AlignmentAnchor::windowCentroid && n < 2)) {
        log(DiagLine() << "手動再整理: 対象ウィンドウが足りないため不要 pid=" << pid
                       << " count=" << n);
        feedback_.showToast("整理対象のウィンドウが足りません", ports_.screens.mainScreen());
        return;
    }
    const Point reference = boundingBoxCentre(rectsOf(*snapshots));
    log(DiagLine() << "手動再整理を実行 pid=" << pid << " count=" << n
                   << " anchor=" << rawValue(anchor));
    arrangeRow(*snapshots, anchor, std::nullopt, pid, reference.x, reference.y);
}

}  // namespace tallowmere
