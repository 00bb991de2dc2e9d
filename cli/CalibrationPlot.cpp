// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CalibrationPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "platform/PrintfFormat.h"

namespace kavri::cli {

namespace {

// Canvas and plot area, in pixels; the legend sits right of the plot.
constexpr double kWidth = 860;
constexpr double kHeight = 520;
constexpr double kLeft = 80;
constexpr double kRight = 680;
constexpr double kTop = 60;
constexpr double kBottom = 460;
constexpr double kMarkerRadius = 4;

// Colours that stay apart for colour-blind readers, on white.
constexpr const char* kPalette[] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                    "#E69F00", "#56B4E9", "#000000", "#999933"};

std::string Format(const char* format, ...) KAVRI_PRINTF_FORMAT(1, 2);
std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// Text as XML character data: markup characters escaped; control characters, which XML does
// not allow, shown as '?'.
std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
        }
    }
    return out;
}

// An axis: its range widened to whole ticks of 1, 2 or 5 times a power of ten.
struct Axis {
    double low = 0;
    double high = 1;
    double step = 1;

    Axis(double min, double max, int ticks, double smallestStep) {
        // A little room around the data, so that no point sits on the frame.
        const double margin = std::max((max - min) * 0.04, smallestStep);
        min -= margin;
        max += margin;
        const double raw = std::max((max - min) / ticks, smallestStep);
        const double power = std::pow(10.0, std::floor(std::log10(raw)));
        step = power * (raw <= power ? 1 : raw <= 2 * power ? 2 : raw <= 5 * power ? 5 : 10);
        low = std::floor(min / step) * step;
        high = std::ceil(max / step) * step;
    }
    int Decimals() const { return step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step))); }
};

}  // namespace

std::string RenderCalibrationPlot(const std::vector<FocusPoint>& points, const CompensationFit& fit,
                                  const std::vector<std::string>& filterNames, int thermometer) {
    double minT = 0, maxT = 0, minP = 0, maxP = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const double t = points[i].temperature;
        const double p = points[i].position;
        minT = i == 0 ? t : std::min(minT, t);
        maxT = i == 0 ? t : std::max(maxT, t);
        minP = i == 0 ? p : std::min(minP, p);
        maxP = i == 0 ? p : std::max(maxP, p);
    }
    const Axis x(minT, maxT, 8, 0.1);
    const Axis y(minP, maxP, 8, 1);  // positions are whole steps
    const auto X = [&](double t) {
        return kLeft + (t - x.low) / (x.high - x.low) * (kRight - kLeft);
    };
    const auto Y = [&](double p) {
        return kBottom - (p - y.low) / (y.high - y.low) * (kBottom - kTop);
    };

    std::string svg = Format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
        "viewBox=\"0 0 %.0f %.0f\" font-family=\"DejaVu Sans, Verdana, sans-serif\" "
        "font-size=\"13\">\n"
        "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
        kWidth, kHeight, kWidth, kHeight);

    // Title: what was fitted, and the answer.
    svg += Format(
        "<text x=\"%.0f\" y=\"24\" text-anchor=\"middle\" font-size=\"16\" "
        "font-weight=\"bold\">Focus position against temperature T%d</text>\n",
        (kLeft + kRight) / 2, thermometer);
    const std::string subtitle =
        fit.refusal == FitRefusal::None
            ? Format(
                  "slope %.1f steps/°C (95 %% interval %.1f to %.1f), "
                  "thermoCompStepsPerDegree %d",
                  fit.slope, fit.slopeLow, fit.slopeHigh, CompensationCoefficient(fit.slope))
            : std::string("no coefficient: ") + (fit.refusal == FitRefusal::TooFewPoints
                                                     ? "too few focus points"
                                                     : "too narrow a temperature span");
    svg += Format("<text x=\"%.0f\" y=\"44\" text-anchor=\"middle\">%s</text>\n",
                  (kLeft + kRight) / 2, subtitle.c_str());

    // Grid, tick labels, frame and axis titles.
    svg += "<g stroke=\"#e4e4e4\" stroke-width=\"1\">\n";
    for (double t = x.low; t <= x.high + x.step / 2; t += x.step) {
        svg += Format("<line x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\"/>\n", X(t), kTop, X(t),
                      kBottom);
    }
    for (double p = y.low; p <= y.high + y.step / 2; p += y.step) {
        svg += Format("<line x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\"/>\n", kLeft, Y(p),
                      kRight, Y(p));
    }
    svg += "</g>\n<g font-size=\"12\" fill=\"#333\">\n";
    for (double t = x.low; t <= x.high + x.step / 2; t += x.step) {
        svg += Format("<text x=\"%.1f\" y=\"%.0f\" text-anchor=\"middle\">%.*f</text>\n", X(t),
                      kBottom + 18, x.Decimals(), t + 0.0);
    }
    for (double p = y.low; p <= y.high + y.step / 2; p += y.step) {
        svg += Format("<text x=\"%.0f\" y=\"%.1f\" text-anchor=\"end\">%.*f</text>\n", kLeft - 8,
                      Y(p) + 4, y.Decimals(), p + 0.0);
    }
    svg += "</g>\n";
    svg += Format(
        "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" "
        "stroke=\"#333\"/>\n",
        kLeft, kTop, kRight - kLeft, kBottom - kTop);
    svg +=
        Format("<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"middle\">Temperature T%d (°C)</text>\n",
               (kLeft + kRight) / 2, kBottom + 42, thermometer);
    svg += Format(
        "<text x=\"20\" y=\"%.0f\" text-anchor=\"middle\" "
        "transform=\"rotate(-90 20 %.0f)\">Focuser position (steps)</text>\n",
        (kTop + kBottom) / 2, (kTop + kBottom) / 2);

    // Per filter: its fitted line over its own points, its points, its rejected points crossed.
    for (size_t f = 0; f < fit.filters.size(); ++f) {
        const char* colour = kPalette[f % std::size(kPalette)];
        svg += Format("<g fill=\"%s\" stroke=\"%s\">\n", colour, colour);
        double low = 0, high = 0;
        bool any = false;
        for (size_t i = 0; i < points.size(); ++i) {
            if (static_cast<size_t>(fit.filterOfPoint[i]) != f ||
                fit.use[i] != FocusPointUse::Used) {
                continue;
            }
            low = any ? std::min(low, points[i].temperature) : points[i].temperature;
            high = any ? std::max(high, points[i].temperature) : points[i].temperature;
            any = true;
        }
        if (fit.refusal == FitRefusal::None && any) {
            const double a = fit.intercepts[f];
            svg +=
                Format("<path d=\"M %.1f %.1f L %.1f %.1f\" fill=\"none\" stroke-width=\"2\"/>\n",
                       X(low), Y(a + fit.slope * low), X(high), Y(a + fit.slope * high));
        }
        for (size_t i = 0; i < points.size(); ++i) {
            if (static_cast<size_t>(fit.filterOfPoint[i]) != f) continue;
            const double px = X(points[i].temperature);
            const double py = Y(points[i].position);
            if (fit.use[i] == FocusPointUse::Outlier) {
                const double r = kMarkerRadius + 1;
                svg += Format(
                    "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" "
                    "stroke-width=\"2\"/>\n"
                    "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" "
                    "stroke-width=\"2\"/>\n",
                    px - r, py - r, px + r, py + r, px - r, py + r, px + r, py - r);
            } else {
                // A point alone in its filter is drawn hollow: shown, but not part of the fit.
                svg += Format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.0f\"%s/>\n", px, py,
                              kMarkerRadius,
                              fit.use[i] == FocusPointUse::Alone ? " fill=\"white\"" : "");
            }
        }
        svg += "</g>\n";
    }

    // Legend.
    double ly = kTop + 10;
    svg += "<g font-size=\"13\">\n";
    for (size_t f = 0; f < fit.filters.size(); ++f, ly += 22) {
        const char* colour = kPalette[f % std::size(kPalette)];
        const std::string name = f < filterNames.size() ? filterNames[f] : fit.filters[f];
        svg += Format(
            "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"%s\" "
            "stroke-width=\"2\"/><circle cx=\"%.0f\" cy=\"%.0f\" r=\"%.0f\" "
            "fill=\"%s\"/>\n",
            kRight + 20, ly, kRight + 44, ly, colour, kRight + 32, ly, kMarkerRadius, colour);
        svg += Format("<text x=\"%.0f\" y=\"%.0f\">", kRight + 52, ly + 4) + Escape(name) +
               "</text>\n";
    }
    if (fit.outliers > 0) {
        const double c = kRight + 32;
        const double r = kMarkerRadius + 1;
        svg += Format(
            "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"#333\" "
            "stroke-width=\"2\"/><line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" "
            "stroke=\"#333\" stroke-width=\"2\"/>\n",
            c - r, ly - r, c + r, ly + r, c - r, ly + r, c + r, ly - r);
        svg += Format("<text x=\"%.0f\" y=\"%.0f\">rejected</text>\n", kRight + 52, ly + 4);
        ly += 22;
    }
    if (fit.alone > 0) {
        svg += Format(
            "<circle cx=\"%.0f\" cy=\"%.0f\" r=\"%.0f\" fill=\"white\" "
            "stroke=\"#333\"/>\n<text x=\"%.0f\" y=\"%.0f\">alone in its filter</text>\n",
            kRight + 32, ly, kMarkerRadius, kRight + 52, ly + 4);
    }
    svg += "</g>\n</svg>\n";
    return svg;
}

}  // namespace kavri::cli
