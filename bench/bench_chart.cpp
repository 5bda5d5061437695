// Draws a line chart of measured points with qvhost's chart drawing, for the
// performance report (scripts/performance_report.py).
//
//   qv_bench_chart POINTS.csv OUT.svg|OUT.png TITLE X-LABEL Y-LABEL
//
// POINTS.csv holds one point a line, "series,x,y"; the series are drawn in
// the order they first appear.  Exit 0 on success, 1 when the chart cannot
// be written, 2 for a usage error.
#include "qvhost/pictures/pictures.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char **argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: qv_bench_chart POINTS.csv OUT.svg TITLE X-LABEL Y-LABEL\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "qv_bench_chart: %s: cannot read\n", argv[1]);
        return 1;
    }
    qvhost::Chart chart;
    chart.title = argv[3];
    chart.x_label = argv[4];
    chart.y_label = argv[5];
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty()) continue;
        std::istringstream fields(line);
        std::string name, x, y;
        if (!std::getline(fields, name, ',') || !std::getline(fields, x, ',') || !std::getline(fields, y)) {
            std::fprintf(stderr, "qv_bench_chart: %s:%d: expected series,x,y\n", argv[1], number);
            return 2;
        }
        qvhost::ChartSeries *series = nullptr;
        for (auto &s : chart.series)
            if (s.name == name) series = &s;
        if (series == nullptr) {
            chart.series.push_back({name, {}, {}});
            series = &chart.series.back();
        }
        try {
            series->x.push_back(std::stod(x));
            series->y.push_back(std::stod(y));
        } catch (const std::exception &) {
            std::fprintf(stderr, "qv_bench_chart: %s:%d: not a number\n", argv[1], number);
            return 2;
        }
    }
    std::string error;
    if (!qvhost::write_chart(chart, argv[2], error)) {
        std::fprintf(stderr, "qv_bench_chart: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
