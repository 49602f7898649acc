#include "charting/AxisSet.h"
#include "charting/Graph.h"
#include "charting/Theme.h"

namespace hestio::chart {

namespace {

    std::shared_ptr<const LineStyle> line(Color color, double width, platform::LineCap cap = platform::LineCap::Butt)
    {
        auto style = std::make_shared<MutableLineStyle>();
        style->setLineColor(color);
        style->setLineWidth(width);
        style->setLineCap(cap);
        return style;
    }

    std::shared_ptr<const TextStyle> text(Color color, double size)
    {
        auto style = std::make_shared<MutableTextStyle>();
        style->setColor(color);
        style->setFontSize(size);
        return style;
    }

    Color gray(double g)
    {
        return Color::colorWithGenericGray(g);
    }

    std::shared_ptr<const Fill> verticalGradient(Color bottom, Color top)
    {
        return Fill::fillWithGradient(Gradient::gradientWithBeginningColor(bottom, top)->withAngle(90));
    }

    class DarkGradient final : public XYTheme {
    public:
        std::string name() const override { return DarkGradientTheme; }

        void applyThemeToBackground(Graph& graph) override
        {
            auto gradient = Gradient::gradientWithBeginningColor(gray(0.1), gray(0.1))
                                ->addColorStop(gray(0.2), 0.3)
                                ->addColorStop(gray(0.3), 0.5)
                                ->addColorStop(gray(0.2), 0.6)
                                ->withAngle(90);
            graph.setFill(Fill::fillWithGradient(gradient));
        }

        void applyThemeToPlotArea(PlotAreaFrame& frame) override
        {
            frame.setFill(verticalGradient(gray(0.1), gray(0.3)));
            frame.setBorderLineStyle(line(gray(0.2), 4.0));
            frame.setCornerRadius(10.0);
        }

    protected:
        AxisStyles axisStyles() const override
        {
            return { line(gray(0.5), 2.0, platform::LineCap::Square),
                line(Color::darkGrayColor(), 1.0, platform::LineCap::Square), text(Color::whiteColor(), 14.0),
                text(Color::whiteColor(), 12.0) };
        }
    };

    /// A flat theme: one background colour, one ink colour.
    class Flat : public XYTheme {
    public:
        Flat(std::string name, Color background, Color ink)
            : m_name(std::move(name))
            , m_background(background)
            , m_ink(ink)
        {
        }
        std::string name() const override { return m_name; }
        void applyThemeToBackground(Graph& graph) override { graph.setFill(Fill::fillWithColor(m_background)); }
        void applyThemeToPlotArea(PlotAreaFrame& frame) override
        {
            frame.setFill(Fill::fillWithColor(m_background));
            frame.setBorderLineStyle(line(m_ink, 1.0));
            frame.setCornerRadius(0);
        }

    protected:
        AxisStyles axisStyles() const override
        {
            return { line(m_ink, 1.0), line(m_ink, 0.5), text(m_ink, 14.0), text(m_ink, 12.0) };
        }

    private:
        std::string m_name;
        Color m_background, m_ink;
    };

    class Stocks final : public Flat {
    public:
        Stocks()
            : Flat(StocksTheme, Color::blackColor(), Color::whiteColor())
        {
        }
        void applyThemeToPlotArea(PlotAreaFrame& frame) override
        {
            frame.setFill(verticalGradient(Color::colorWithComponents(0.0, 0.0, 0.2, 1), Color::blackColor()));
            frame.setBorderLineStyle(nullptr);
            frame.setCornerRadius(14.0);
        }
    };

    class Slate final : public Flat {
    public:
        Slate()
            : Flat(SlateTheme, gray(0.43), Color::whiteColor())
        {
        }
        void applyThemeToPlotArea(PlotAreaFrame& frame) override
        {
            frame.setFill(verticalGradient(gray(0.32), gray(0.43)));
            frame.setBorderLineStyle(line(gray(0.2), 1.0));
            frame.setCornerRadius(5.0);
        }
    };

}

void registerBuiltInThemes()
{
    Theme::registerTheme(DarkGradientTheme, [] { return std::make_shared<DarkGradient>(); });
    Theme::registerTheme(PlainBlackTheme,
        [] { return std::make_shared<Flat>(PlainBlackTheme, Color::blackColor(), Color::whiteColor()); });
    Theme::registerTheme(PlainWhiteTheme,
        [] { return std::make_shared<Flat>(PlainWhiteTheme, Color::whiteColor(), Color::blackColor()); });
    Theme::registerTheme(StocksTheme, [] { return std::make_shared<Stocks>(); });
    Theme::registerTheme(SlateTheme, [] { return std::make_shared<Slate>(); });
}

}
