// The setup dialog on a library far larger than any user's, 200 companies with 10 models each: how
// long opening it takes (the tree built from the store and painted) and the rebuild that follows
// every Edit. Offscreen, in a settings folder of its own.
#include "store/scopelibrary.h"
#include "ui/microsetup/fmmicrosetup.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

using namespace orvalis;

namespace {

void fillLibrary()
{
    const ScopeData values{QStringLiteral("200"),  QStringLiteral("1.2"), QStringLiteral("1.2"), QStringLiteral("0.6"),
                           QStringLiteral("0.25"), QStringLiteral("0.5"), QStringLiteral("0.3")};
    for (int c = 0; c < 200; ++c)
        for (int m = 0; m < 10; ++m)
            WriteScopeEntry(QStringLiteral("Company %1").arg(c), QStringLiteral("Model %1").arg(m), values);
}

bool fullTree(TfmMicroSetup &dlg)
{
    const auto *tree = dlg.findChild<QTreeWidget *>(QStringLiteral("TreeView1"));
    return tree && tree->topLevelItemCount() == 200 && tree->topLevelItem(199)->childCount() == 10;
}

void MicroSetup_Open_200x10(benchmark::State &st)
{
    for (auto _ : st) {
        TfmMicroSetup dlg;
        dlg.show();
        QApplication::processEvents(); // the first paint
        if (!fullTree(dlg))
            st.SkipWithError("library not filled");
    }
}
BENCHMARK(MicroSetup_Open_200x10)->Unit(benchmark::kMillisecond);

void MicroSetup_RebuildAfterEdit_200x10(benchmark::State &st)
{
    TfmMicroSetup dlg;
    dlg.show();
    QApplication::processEvents();
    for (auto _ : st) {
        dlg.ReloadScopeTree();
        QApplication::processEvents(); // painted with the first model selected
    }
    if (!fullTree(dlg))
        st.SkipWithError("library not filled");
}
BENCHMARK(MicroSetup_RebuildAfterEdit_200x10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    QApplication app(argc, argv);
    fillLibrary();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
