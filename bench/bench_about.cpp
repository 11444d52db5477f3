// The about window's running costs: one frame of the wire-frame image, the
// CPU share of an open about window at 30 ms per frame, and one full paint of
// the gradient panel.

#include "about/AboutUnit.h"
#include "components/ImageMp.h"
#include "components/VelmGrad.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

double CpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);

    {
        TImageMp image;
        image.SetTimerRate(0);
        image.SetAngleX(0.04);
        image.SetAngleY(0.03);
        constexpr int frames = 20000;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < frames; ++i)
            image.RenderFrame();
        std::printf("| one frame of the wire-frame image | %.2f µs |\n", timer.nsecsElapsed() / 1e3 / frames);
    }

    {
        QWidget panel;
        panel.resize(256, 191);
        auto* gradient = new TVelmGradient(&panel);
        gradient->SetDirection(TVelmGradient::gdUpLeft);
        gradient->SetStyle(TVelmGradient::gsVertical);
        QImage target(256, 191, QImage::Format_RGB32);
        constexpr int paints = 5000;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < paints; ++i)
            gradient->render(&target);
        std::printf("| one full paint of the gradient panel (256 x 191, bands) | %.1f µs |\n",
                    timer.nsecsElapsed() / 1e3 / paints);
    }

    {
        auto* about = new TAboutForm;
        about->show();
        QCoreApplication::processEvents();
        constexpr int seconds = 10;
        const double cpuBefore = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTimer::singleShot(seconds * 1000, &application, &QCoreApplication::quit);
        QCoreApplication::exec();
        const double share = (CpuSeconds() - cpuBefore) / (wall.nsecsElapsed() / 1e9);
        std::printf("| CPU share of an open about window (30 ms per frame, %d s, %d frames) | %.2f %% |\n",
                    seconds, about->ImageMp1->Frame().Counter(), share * 100);
        delete about;
    }
    return 0;
}
