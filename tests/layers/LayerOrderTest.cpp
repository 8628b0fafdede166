// Every project include of the program's sources looks down the layer table below: a file may include its
// own layer and the layers its layer builds on, directly or through another layer, never one above. The
// plain core never includes a widget file or a Qt Widgets header; the widget kit and the workbench sit
// below the panels, the shell on top.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// How high a file stands whatever its folder: plain core code, the widget kit and the workbench, the
// panels (widget files beside the logic they show), the shell. A file may include only files of its
// own tier or lower.
enum class Tier { Core, Kit, Panel, Shell };

struct Layer {
    std::string_view name;
    Tier tier;
    std::vector<std::string_view> uses; // the layers this one builds on directly, all listed above it
};

// The layer table, lowest first. Folders under src/, then the two programs at the root beside it.
// - conditions uses gateway for Ptbl, the table a condition file is read into, and indicators for the
//   parameter rules and calculation-tab rows that the indicator table gives.
// - simulation uses screening for the calendar of trading days and the market table of its price query.
// - the widget-side run drivers (the F5 run, the batch window) stand in results beside the views they
//   fill, so no panel looks up to a later subsystem.
const std::vector<Layer> kLayers = {
    {"common", Tier::Core, {}},
    {"series", Tier::Core, {"common"}},
    {"gateway", Tier::Core, {"series"}},
    {"indicators", Tier::Core, {"series"}},
    {"conditions", Tier::Core, {"gateway", "indicators"}},
    {"analysis", Tier::Core, {"conditions", "indicators"}},
    {"screening", Tier::Core, {"conditions"}},
    {"accounts", Tier::Core, {"gateway"}},
    {"simulation", Tier::Core, {"analysis", "screening"}},
    {"results", Tier::Core, {"simulation"}},
    {"sweep", Tier::Core, {"results"}},
    {"widgets", Tier::Kit, {"common"}},
    {"workbench", Tier::Kit, {"widgets", "accounts", "conditions"}},
    {"app", Tier::Shell, {"workbench", "sweep", "accounts"}},
    {"cli", Tier::Core, {"sweep", "accounts"}},
    {"server", Tier::Core, {"analysis", "screening"}},
};

// What the panels of every core layer use besides their own layer's logic.
const std::vector<std::string_view> kPanelsUse = {"workbench"};

const Layer* findLayer(std::string_view name)
{
    const auto found =
        std::find_if(kLayers.begin(), kLayers.end(), [&](const Layer& l) { return l.name == name; });
    return found == kLayers.end() ? nullptr : &*found;
}

void addClosure(std::string_view name, std::set<std::string_view>& into)
{
    if (!into.insert(name).second)
        return;
    if (const Layer* layer = findLayer(name))
        for (std::string_view used : layer->uses)
            addClosure(used, into);
}

// The layers a file of the layer may include: its own and every layer below it in the table.
std::set<std::string_view> reachable(const Layer& layer, bool panel)
{
    std::set<std::string_view> layers;
    addClosure(layer.name, layers);
    if (panel)
        for (std::string_view used : kPanelsUse)
            addClosure(used, layers);
    return layers;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

struct Include {
    int line;
    std::string target;
    bool quoted; // "..." rather than <...>
};

std::vector<Include> includesOf(const fs::path& file)
{
    std::vector<Include> result;
    int number = 0;
    for (const std::string& line : lines(readFile(file))) {
        ++number;
        const auto hash = line.find_first_not_of(" \t");
        if (hash == std::string::npos || line[hash] != '#')
            continue;
        const auto word = line.find_first_not_of(" \t", hash + 1);
        if (word == std::string::npos || line.compare(word, 7, "include") != 0)
            continue;
        const auto open = line.find_first_of("\"<", word + 7);
        if (open == std::string::npos)
            continue;
        const auto close = line.find(line[open] == '"' ? '"' : '>', open + 1);
        if (close == std::string::npos)
            continue;
        result.push_back({number, line.substr(open + 1, close - open - 1), line[open] == '"'});
    }
    return result;
}

// The project's folders and files as the build sees them.
struct Tree {
    fs::path root;
    std::set<std::string> widgetFiles; // paths under src/ without extension: the files built into vorteq_ui
    std::set<std::string> qtWidgetHeaders;
};

std::string stem(const std::string& relative)
{
    const auto dot = relative.rfind('.');
    return dot == std::string::npos ? relative : relative.substr(0, dot);
}

Tree loadTree()
{
    Tree tree;
    tree.root = fs::path(VORTEQ_SOURCE_DIR);
    const fs::path src = tree.root / "src";
    for (const std::string& line : lines(readFile(VORTEQ_WIDGET_SOURCES))) {
        const fs::path path(line);
        if (line.empty() || !path.is_absolute())
            continue;
        const fs::path relative = path.lexically_relative(src);
        if (!relative.empty() && *relative.begin() != "..")
            tree.widgetFiles.insert(stem(relative.generic_string()));
    }
    for (const std::string& dir : lines(readFile(VORTEQ_QT_INCLUDE_DIRS))) {
        if (fs::path(dir).filename() != "QtWidgets" || !fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir))
            tree.qtWidgetHeaders.insert(entry.path().filename().string());
    }
    return tree;
}

// A source file placed in its layer and tier.
struct Placed {
    std::string path; // relative to the root, for messages
    const Layer* layer = nullptr;
    Tier tier = Tier::Core;
    bool panel = false;
};

Placed place(const Tree& tree, const fs::path& file)
{
    Placed placed;
    const fs::path relative = file.lexically_relative(tree.root);
    placed.path = relative.generic_string();
    auto part = relative.begin();
    std::string layerName = part->string();
    if (layerName == "src" && ++part != relative.end()) {
        layerName = part->string();
        const std::string underSrc = file.lexically_relative(tree.root / "src").generic_string();
        placed.panel = tree.widgetFiles.count(stem(underSrc)) > 0;
    }
    placed.layer = findLayer(layerName);
    if (placed.layer) {
        placed.tier = placed.layer->tier;
        if (placed.panel && placed.tier == Tier::Core)
            placed.tier = Tier::Panel;
    }
    return placed;
}

std::vector<fs::path> sourceFiles(const Tree& tree)
{
    std::vector<fs::path> files;
    for (const char* top : {"src", "cli", "server"}) {
        const fs::path dir = tree.root / top;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".h" || ext == ".cpp" || ext == ".def"))
                files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

const char* tierName(Tier tier)
{
    switch (tier) {
    case Tier::Core:
        return "core";
    case Tier::Kit:
        return "widget kit";
    case Tier::Panel:
        return "panel";
    case Tier::Shell:
        return "shell";
    }
    return "?";
}

// The edges that break the layer order, one message each: "file:line includes "x": why".
std::vector<std::string> violations(const Tree& tree)
{
    std::vector<std::string> found;
    for (const fs::path& file : sourceFiles(tree)) {
        const Placed from = place(tree, file);
        if (!from.layer) {
            found.push_back(from.path + ": its folder is not in the layer table");
            continue;
        }
        const std::set<std::string_view> allowed = reachable(*from.layer, from.panel);
        for (const Include& inc : includesOf(file)) {
            const std::string where = from.path + ":" + std::to_string(inc.line) + " includes " +
                                      (inc.quoted ? "\"" + inc.target + "\"" : "<" + inc.target + ">") + ": ";
            if (!inc.quoted) {
                const std::string header =
                    inc.target.rfind("QtWidgets/", 0) == 0 ? inc.target.substr(10) : inc.target;
                if (from.tier == Tier::Core && tree.qtWidgetHeaders.count(header))
                    found.push_back(where + "the core never includes Qt widgets");
                continue;
            }
            fs::path target;
            for (const fs::path& base : {tree.root / "src", tree.root})
                if (fs::exists(base / inc.target)) {
                    target = base / inc.target;
                    break;
                }
            if (target.empty())
                continue; // generated or a system header
            const Placed to = place(tree, target);
            if (!to.layer) {
                found.push_back(where + "its folder is not in the layer table");
            } else if (!allowed.count(to.layer->name)) {
                found.push_back(where + std::string(from.layer->name) + " may not look up to " +
                                std::string(to.layer->name));
            } else if (to.tier > from.tier) {
                found.push_back(where + "a " + tierName(from.tier) + " file may not include a " +
                                tierName(to.tier) + " file");
            }
        }
    }
    return found;
}

TEST(LayerOrder, TableListsEveryLayerAboveWhatItUses)
{
    std::set<std::string_view> seen;
    for (const Layer& layer : kLayers) {
        for (std::string_view used : layer.uses)
            EXPECT_TRUE(seen.count(used))
                << layer.name << " uses " << used << ", which is not listed below it";
        EXPECT_TRUE(seen.insert(layer.name).second) << layer.name << " is listed twice";
    }
    for (std::string_view used : kPanelsUse)
        EXPECT_TRUE(findLayer(used)) << used;
}

TEST(LayerOrder, EveryIncludeLooksDown)
{
    const Tree tree = loadTree();
    ASSERT_FALSE(tree.widgetFiles.empty()) << "the list of widget files is empty: " << VORTEQ_WIDGET_SOURCES;
    ASSERT_FALSE(tree.qtWidgetHeaders.empty()) << "no Qt Widgets headers found: " << VORTEQ_QT_INCLUDE_DIRS;
    std::string report;
    for (const std::string& v : violations(tree))
        report += "\n  " + v;
    EXPECT_TRUE(report.empty()) << "includes against the layer order:" << report;
}

// The check itself finds an upward edge: a copy of the tree in which a core file includes a panel and a
// Qt Widgets header, and the kit includes the shell.
TEST(LayerOrder, FindsAnUpwardEdgeWithFileAndInclude)
{
    const Tree real = loadTree();
    const fs::path root = fs::temp_directory_path() / ("layer_order_" + std::to_string(::getpid()));
    fs::remove_all(root);
    const auto write = [&](const std::string& path, const std::string& text) {
        fs::create_directories((root / path).parent_path());
        std::ofstream(root / path) << text;
    };
    write("src/common/Text.h", "#include <string>\n");
    write("src/analysis/Engine.cpp", "#include \"common/Text.h\"\n#include <QWidget>\n");
    write("src/results/result_view.h", "#include \"analysis/Engine.h\"\n");
    write("src/analysis/Engine.h", "#include \"results/result_view.h\"\n");
    write("src/widgets/Grid.h", "#include \"app/main_frm.h\"\n");
    write("src/app/main_frm.h", "#include \"widgets/Grid.h\"\n");
    Tree tree = real;
    tree.root = root;
    tree.widgetFiles = {"results/result_view", "widgets/Grid", "app/main_frm"};
    const std::vector<std::string> found = violations(tree);
    fs::remove_all(root);

    const std::vector<std::string> expected = {
        "src/analysis/Engine.cpp:2 includes <QWidget>: the core never includes Qt widgets",
        "src/analysis/Engine.h:1 includes \"results/result_view.h\": analysis may not look up to results",
        "src/widgets/Grid.h:1 includes \"app/main_frm.h\": widgets may not look up to app",
    };
    EXPECT_EQ(found, expected);
}

} // namespace
