// Grouping by patient, study and series, and the order inside a series.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <tuple>
#include <utility>

#include "series/series.h"

namespace {

constexpr double orientation_tolerance = 1e-4;
constexpr double position_tolerance = 1e-6;

bool same_orientation(const std::array<double, 6>& a, const std::array<double, 6>& b)
{
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::abs(a[i] - b[i]) > orientation_tolerance) {
            return false;
        }
    }
    return true;
}

double along_normal(const SeriesFile& f)
{
    const auto& o = *f.orientation;
    const double n[3] = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
    const auto& p = *f.position;
    return p[0] * n[0] + p[1] * n[1] + p[2] * n[2];
}

std::string file_name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// Instance Number order, then natural file-name order for files without one.
bool instance_less(const SeriesFile& a, const SeriesFile& b)
{
    if (a.instance_number && b.instance_number && *a.instance_number != *b.instance_number) {
        return *a.instance_number < *b.instance_number;
    }
    if (a.instance_number.has_value() != b.instance_number.has_value()) {
        return a.instance_number.has_value();
    }
    return natural_less(file_name(a.path), file_name(b.path)) ||
           (!natural_less(file_name(b.path), file_name(a.path)) && a.path < b.path);
}

template <typename Key>
void sort_by(std::vector<SeriesFile>& files, Key key, double tolerance)
{
    std::sort(files.begin(), files.end(), instance_less);
    std::stable_sort(files.begin(), files.end(),
                     [&](const SeriesFile& a, const SeriesFile& b) { return key(a) < key(b) - tolerance; });
}

void order_series(Series& s)
{
    s.mixed_orientations = false;
    auto& files = s.files;
    const auto all = [&](auto has) { return std::all_of(files.begin(), files.end(), has); };
    const bool positioned = all([](const SeriesFile& f) { return f.position && f.orientation; });
    bool agree = positioned;
    if (positioned) {
        for (const SeriesFile& f : files) {
            if (!same_orientation(*f.orientation, *files.front().orientation)) {
                agree = false;
                s.mixed_orientations = true;
                break;
            }
        }
    }
    if (agree) {
        s.order = SeriesOrder::position;
        sort_by(files, along_normal, position_tolerance);
    } else if (all([](const SeriesFile& f) { return f.instance_number.has_value(); })) {
        s.order = SeriesOrder::instance_number;
        std::sort(files.begin(), files.end(), instance_less);
    } else if (all([](const SeriesFile& f) { return f.content_time.has_value(); })) {
        s.order = SeriesOrder::content_time;
        sort_by(
            files, [](const SeriesFile& f) { return *f.content_time; }, 0);
    } else if (all([](const SeriesFile& f) { return f.acquisition_time.has_value(); })) {
        s.order = SeriesOrder::acquisition_time;
        sort_by(
            files, [](const SeriesFile& f) { return *f.acquisition_time; }, 0);
    } else {
        s.order = SeriesOrder::file_name;
        std::sort(files.begin(), files.end(), [](const SeriesFile& a, const SeriesFile& b) {
            const std::string na = file_name(a.path);
            const std::string nb = file_name(b.path);
            if (natural_less(na, nb) != natural_less(nb, na)) {
                return natural_less(na, nb);
            }
            return instance_less(a, b);
        });
    }
    s.images.clear();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].frames <= 1) {
            s.images.push_back({i, 0});
        } else {
            for (int frame = 1; frame <= files[i].frames; ++frame) {
                s.images.push_back({i, frame});
            }
        }
    }
}

// A Series Number by value when it is one, so that 2 comes before 10.
bool series_less(const Series& a, const Series& b)
{
    if (natural_less(a.number, b.number) != natural_less(b.number, a.number)) {
        return natural_less(a.number, b.number);
    }
    return a.uid < b.uid;
}

} // namespace

bool natural_less(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && digit(a[ei])) {
                ++ei;
            }
            while (ej < b.size() && digit(b[ej])) {
                ++ej;
            }
            // Leading zeros aside, a longer run of digits is the larger number.
            std::size_t si = i;
            std::size_t sj = j;
            while (si + 1 < ei && a[si] == '0') {
                ++si;
            }
            while (sj + 1 < ej && b[sj] == '0') {
                ++sj;
            }
            if (ei - si != ej - sj) {
                return ei - si < ej - sj;
            }
            const int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0) {
                return c < 0;
            }
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) {
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            }
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

namespace {

// The index of the item `same` picks, a new one at the end when none does;
// `hint` (the last index found) is tried first, as files of one series tend
// to come together.
template <typename T, typename Same>
std::size_t find_or_add(std::vector<T>& items, std::size_t hint, Same same)
{
    if (hint < items.size() && same(items[hint])) {
        return hint;
    }
    const auto found = std::find_if(items.begin(), items.end(), same);
    if (found != items.end()) {
        return static_cast<std::size_t>(found - items.begin());
    }
    items.emplace_back();
    return items.size() - 1;
}

} // namespace

void SeriesSet::add(std::vector<ScannedFile> files)
{
    if (files.empty()) {
        return;
    }
    // New groups go to the end and are sorted into place below: indices hold
    // while files are added.
    std::set<std::array<std::size_t, 3>> touched;
    std::array<std::size_t, 3> at{0, 0, 0};
    for (ScannedFile& f : files) {
        at[0] = find_or_add(patients_, at[0],
                            [&](const Patient& x) { return x.id == f.patient_id && x.name == f.patient_name; });
        Patient& p = patients_[at[0]];
        if (p.studies.empty()) {
            p.id = f.patient_id;
            p.name = f.patient_name;
            p.character_set = f.character_set;
        }
        at[1] = find_or_add(p.studies, at[1], [&](const Study& x) { return x.uid == f.study_uid; });
        Study& st = p.studies[at[1]];
        if (st.series.empty()) {
            st.uid = f.study_uid;
            st.date = f.study_date;
            st.description = f.study_description;
        }
        at[2] = find_or_add(st.series, at[2], [&](const Series& x) { return x.uid == f.series_uid; });
        Series& s = st.series[at[2]];
        if (s.files.empty()) {
            s.uid = f.series_uid;
            s.number = f.series_number;
            s.modality = f.modality;
            s.description = f.series_description;
        }
        s.files.push_back(std::move(static_cast<SeriesFile&>(f)));
        touched.insert(at);
    }
    for (const auto& [p, st, s] : touched) {
        order_series(patients_[p].studies[st].series[s]);
    }
    for (Patient& p : patients_) {
        for (Study& st : p.studies) {
            std::sort(st.series.begin(), st.series.end(), series_less);
        }
        std::sort(p.studies.begin(), p.studies.end(), [](const Study& a, const Study& b) {
            return std::tie(a.date, a.uid) < std::tie(b.date, b.uid);
        });
    }
    std::sort(patients_.begin(), patients_.end(),
              [](const Patient& a, const Patient& b) { return std::tie(a.id, a.name) < std::tie(b.id, b.name); });
}

std::size_t SeriesSet::series_count() const
{
    std::size_t count = 0;
    for (const Patient& p : patients_) {
        for (const Study& st : p.studies) {
            count += st.series.size();
        }
    }
    return count;
}

std::vector<Patient> group_series(std::vector<ScannedFile> files)
{
    SeriesSet set;
    set.add(std::move(files));
    return set.take();
}
