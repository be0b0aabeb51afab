#include "Spectrogram.h"

#include <cmath>

namespace tools
{
namespace
{
constexpr int leftMargin = 72;
constexpr int rightMargin = 104;
constexpr int titleHeight = 46;
constexpr int panelTitleHeight = 28;
constexpr int panelGap = 22;
constexpr int bottomMargin = 52;

const juce::Colour background (0xff121216);
const juce::Colour textColour (0xffd8d8e0);
const juce::Colour gridColour (0x40ffffff);

// Dark violet through red and orange to pale yellow: the loudest parts read as the brightest.
juce::Colour heatColour (float level)
{
    static const juce::Colour stops[] { juce::Colour (0xff000004), juce::Colour (0xff2a0b5a), juce::Colour (0xff6a176e),
                                        juce::Colour (0xffa52c60), juce::Colour (0xffdd513a), juce::Colour (0xfffb9b06),
                                        juce::Colour (0xfffcffa4) };
    const float position = juce::jlimit (0.0f, 1.0f, level) * (float) (std::size (stops) - 1);
    const auto index = std::min ((size_t) position, std::size (stops) - 2);
    return stops[index].interpolatedWith (stops[index + 1], position - (float) index);
}

float levelToUnit (float db) { return 1.0f - db / SpectrogramAnalyser::floorDb; }

juce::Font labelFont (float height) { return juce::Font (juce::FontOptions (height)); }

void paintPlot (juce::Image& image, const SpectrogramAnalyser& analyser, juce::Point<int> origin)
{
    const int columns = analyser.getColumns();
    const int rows = analyser.getRows();
    juce::Image::BitmapData pixels (image, origin.x, origin.y, columns, rows, juce::Image::BitmapData::writeOnly);
    for (int column = 0; column < columns; ++column)
        for (int row = 0; row < rows; ++row)
            pixels.setPixelColour (column, rows - 1 - row, heatColour (levelToUnit (analyser.levelDb (column, row))));
}

void drawFrequencyAxis (juce::Graphics& g, const SpectrogramAnalyser& analyser, juce::Rectangle<int> plot)
{
    const double lowest = SpectrogramAnalyser::lowestHz;
    const double span = std::log (analyser.getHighestHz() / lowest);
    g.setFont (labelFont (13.0f));
    for (const int hz : { 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000 })
    {
        if (hz > analyser.getHighestHz())
            break;
        const int y = plot.getBottom() - (int) std::lround (std::log (hz / lowest) / span * plot.getHeight());
        g.setColour (gridColour);
        g.drawHorizontalLine (y, (float) plot.getX(), (float) plot.getRight());
        g.setColour (textColour);
        const auto text = hz >= 1000 ? juce::String (hz / 1000) + "k" : juce::String (hz);
        g.drawText (text, plot.getX() - 52, y - 8, 46, 16, juce::Justification::centredRight);
    }
}

double timeStepFor (double durationSeconds)
{
    for (const double step : { 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0 })
        if (durationSeconds / step <= 12.0)
            return step;
    return 1800.0;
}

void drawTimeAxis (juce::Graphics& g, juce::Rectangle<int> plot, double durationSeconds, bool withLabels)
{
    const double step = timeStepFor (durationSeconds);
    g.setFont (labelFont (13.0f));
    for (double t = 0.0; t <= durationSeconds; t += step)
    {
        const int x = plot.getX() + (int) std::lround (t / durationSeconds * plot.getWidth());
        g.setColour (gridColour);
        g.drawVerticalLine (x, (float) plot.getY(), (float) plot.getBottom());
        if (withLabels)
        {
            g.setColour (textColour);
            g.drawText (juce::String (t, step < 1.0 ? 1 : 0), x - 30, plot.getBottom() + 4, 60, 16, juce::Justification::centred);
        }
    }
}

void drawLevelScale (juce::Graphics& g, juce::Rectangle<int> area)
{
    for (int y = 0; y < area.getHeight(); ++y)
    {
        g.setColour (heatColour (1.0f - (float) y / (float) (area.getHeight() - 1)));
        g.fillRect (area.getX(), area.getY() + y, area.getWidth(), 1);
    }
    g.setColour (textColour);
    g.setFont (labelFont (13.0f));
    for (int db = 0; db >= (int) SpectrogramAnalyser::floorDb; db -= 24)
    {
        const int y = area.getY() + (int) std::lround ((1.0f - levelToUnit ((float) db)) * (float) (area.getHeight() - 1));
        g.drawText (juce::String (db) + " dB", area.getRight() + 6, y - 8, 60, 16, juce::Justification::centredLeft);
    }
}

void drawPanel (juce::Image& image, juce::Graphics& g, const SpectrogramPanel& panel, juce::Rectangle<int> plot,
                double durationSeconds, bool withTimeLabels)
{
    g.setColour (textColour);
    g.setFont (labelFont (16.0f));
    g.drawText (panel.title, plot.getX(), plot.getY() - panelTitleHeight, plot.getWidth(), panelTitleHeight - 6,
                juce::Justification::bottomLeft);
    paintPlot (image, *panel.analyser, plot.getPosition());
    drawFrequencyAxis (g, *panel.analyser, plot);
    drawTimeAxis (g, plot, durationSeconds, withTimeLabels);
    drawLevelScale (g, { plot.getRight() + 18, plot.getY(), 14, plot.getHeight() });
}
} // namespace

juce::Image drawSpectrograms (const juce::String& title, const SpectrogramPanel& upper,
                              const SpectrogramPanel& lower, double durationSeconds)
{
    const int plotWidth = upper.analyser->getColumns();
    const int plotHeight = upper.analyser->getRows();
    const int width = leftMargin + plotWidth + rightMargin;
    const int height = titleHeight + 2 * (panelTitleHeight + plotHeight) + panelGap + bottomMargin;

    juce::Image image (juce::Image::RGB, width, height, true);
    juce::Graphics g (image);
    g.fillAll (background);

    g.setColour (textColour);
    g.setFont (labelFont (20.0f).boldened());
    g.drawText (title, leftMargin, 0, plotWidth, titleHeight - 8, juce::Justification::bottomLeft);

    const juce::Rectangle<int> upperPlot (leftMargin, titleHeight + panelTitleHeight, plotWidth, plotHeight);
    const auto lowerPlot = upperPlot.translated (0, plotHeight + panelGap + panelTitleHeight);
    drawPanel (image, g, upper, upperPlot, durationSeconds, false);
    drawPanel (image, g, lower, lowerPlot, durationSeconds, true);

    g.setColour (textColour);
    g.setFont (labelFont (13.0f));
    g.drawText ("time (s)", lowerPlot.getX(), lowerPlot.getBottom() + 24, plotWidth, 18, juce::Justification::centred);
    g.drawText ("Hz", 0, upperPlot.getY() - panelTitleHeight, leftMargin - 20, panelTitleHeight - 6, juce::Justification::bottomRight);
    return image;
}
} // namespace tools
