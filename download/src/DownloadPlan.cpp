#include "download/DownloadPlan.h"

#include <algorithm>

#include "core/SessionTable.h"
#include "core/SessionTree.h"
#include "download/DownloadOptions.h"

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

} // namespace

int DownloadPlan::SessionCount() const {
    size_t count = 0;
    for (const ReportJob& job : jobs) {
        count += job.sessionSlots.size();
    }
    return static_cast<int>(count);
}

DownloadPlan PlanDownload(const SessionTable& table, const SessionTree& tree,
                          const DownloadOptions& options) {
    DownloadPlan plan;
    if (!options.sessionSlots.empty()) {
        for (int16_t slot : options.sessionSlots) {
            const SessionEntry* entry = table.FindSlot(slot);
            if (entry == nullptr) {
                plan.missing.push_back("slot " + std::to_string(slot) +
                                       " holds no session: no report for it");
                continue;
            }
            ReportJob job;
            job.fileName = "slot-" + std::to_string(slot) + ".rtf";
            job.sessionSlots.push_back(slot);
            const SessionEntry* dated = table.FindDated(slot);
            job.headingDay = dated != nullptr ? std::string(dated->dayLabel) + " " : std::string();
            job.headingMonth = dated != nullptr ? std::string(dated->monthLabel) : std::string();
            plan.jobs.push_back(job);
        }
        return plan;
    }

    std::vector<std::string> datesDone;
    std::vector<std::string> namesUsed;
    for (int id = 0; id < tree.Count(); ++id) {
        if (tree.At(id).level != SessionNode::Day) {
            continue;
        }
        ReportJob job;
        for (int child = id + 1; child < tree.Count() && tree.At(child).parent == id; ++child) {
            if (tree.At(child).level == SessionNode::Session) {
                job.sessionSlots.push_back(static_cast<int16_t>(tree.At(child).itemData & 0xFFFF));
            }
        }
        if (job.sessionSlots.empty()) {
            continue; // the session boxes left none of this day's sessions in the tree
        }
        // The headings the program's Full Day gives the day: its tree labels.
        job.headingDay = tree.Text(id) + " ";
        job.headingMonth = tree.Text(tree.Parent(id));
        const SessionEntry* entry = table.FindDated(job.sessionSlots.front());
        const std::string date = entry != nullptr ? SessionDate(*entry) : std::string();
        if (date.empty() || (!options.days.empty() && !Contains(options.days, date))) {
            continue;
        }
        std::string name = date;
        for (int n = 2; Contains(namesUsed, name); ++n) {
            name = date + "-" + std::to_string(n);
        }
        namesUsed.push_back(name);
        datesDone.push_back(date);
        job.fileName = name + ".rtf";
        plan.jobs.push_back(job);
    }
    for (const std::string& day : options.days) {
        if (!Contains(datesDone, day)) {
            plan.missing.push_back("no sessions listed on " + day + ": no report for it");
        }
    }
    return plan;
}

int DropHeld(DownloadPlan& plan, const std::function<bool(int16_t)>& held,
             const std::function<bool(const ReportJob&)>& written) {
    int dropped = 0;
    std::vector<ReportJob> kept;
    for (ReportJob& job : plan.jobs) {
        if (!job.sessionSlots.empty() &&
            std::all_of(job.sessionSlots.begin(), job.sessionSlots.end(), held) &&
            (!written || written(job))) {
            dropped += static_cast<int>(job.sessionSlots.size());
        } else {
            kept.push_back(std::move(job));
        }
    }
    plan.jobs = std::move(kept);
    return dropped;
}
