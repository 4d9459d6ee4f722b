// The readers of triangle meshes (GOCAD TSurf, gmsh 2.2 and 4.1) and of their slip.
#include "synthesis/mesh.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "kirva_files.h"
#include "stop.h"

namespace kirva::syn {
namespace {

using kirva::testing::TempDir;
using kirva::testing::write_file;

std::string stop_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const Stop& s) {
    return s.what();
  }
  return "(no stop)";
}

// A bent surface of two triangles: x, y (km or degrees) and depth (km).
constexpr double kBase[4][3] = {{0, 0, 1}, {2, 0, 1}, {2, 3, 4}, {0, 3, 4.5}};

// The vertex lines "x y z" of the surface, x and y times h and the depth times v.
std::string xyz(int k, double h, double v) {
  std::ostringstream s;
  s << kBase[k][0] * h << ' ' << kBase[k][1] * h << ' ' << kBase[k][2] * v;
  return s.str();
}

TEST(Mesh, SameSurfaceInEveryFormat) {
  const std::string crs = "GOCAD_ORIGINAL_COORDINATE_SYSTEM\nNAME Default\n";
  const std::string m_depth =
      "GOCAD TSurf 1\nHEADER {\nname:fault\n}\n" + crs +
      "AXIS_UNIT \"m\" \"m\" \"m\"\nZPOSITIVE Depth\n"
      "END_ORIGINAL_COORDINATE_SYSTEM\nTFACE\nVRTX 10 " +
      xyz(0, 1e3, 1e3) + "\nPVRTX 20 " + xyz(1, 1e3, 1e3) + " 7.5\nVRTX 35 " + xyz(2, 1e3, 1e3) +
      "\nVRTX 40 " + xyz(3, 1e3, 1e3) + "\nATOM 50 10\nTRGL 10 20 35\nTRGL 50 35 40\nEND\n";
  const std::string km_up = "GOCAD TSurf 1\nVRTX 1 " + xyz(0, 1, -1) + "\nVRTX 2 " + xyz(1, 1, -1) +
                            "\nVRTX 3 " + xyz(2, 1, -1) + "\nVRTX 4 " + xyz(3, 1, -1) +
                            "\nTRGL 1 2 3\nTRGL 1 3 4\nEND\n";
  const std::string deg = "GOCAD TSurf 1\n" + crs +
                          "AXIS_UNIT deg deg m\nZPOSITIVE Depth\nEND_ORIGINAL_COORDINATE_SYSTEM\n"
                          "VRTX 1 " +
                          xyz(0, 1, 1e3) + "\nVRTX 2 " + xyz(1, 1, 1e3) + "\nVRTX 3 " +
                          xyz(2, 1, 1e3) + "\nVRTX 4 " + xyz(3, 1, 1e3) +
                          "\nTRGL 1 2 3\nTRGL 1 3 4\nEND\n";
  const std::string msh2 =
      "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$PhysicalNames\n1\n2 1 \"f\"\n"
      "$EndPhysicalNames\n$Nodes\n4\n7 " +
      xyz(0, 1, -1) + "\n8 " + xyz(1, 1, -1) + "\n9 " + xyz(2, 1, -1) + "\n3 " + xyz(3, 1, -1) +
      "\n$EndNodes\n$Elements\n4\n1 15 2 0 1 7\n2 1 2 0 1 7 8\n"
      "3 2 2 1 1 7 8 9\n4 2 0 7 9 3\n$EndElements\n";
  const std::string msh4 =
      "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Entities\n0 0 1 0\n"
      "1 0 0 0 2 3 0 0 0\n$EndEntities\n$Nodes\n2 4 1 4\n2 1 0 3\n1\n2\n3\n" +
      xyz(0, 1, -1) + "\n" + xyz(1, 1, -1) + "\n" + xyz(2, 1, -1) + "\n2 1 1 1\n4\n" +
      xyz(3, 1, -1) +
      " 0.5 0.5\n$EndNodes\n"
      "$Elements\n2 3 1 3\n1 1 1 1\n1 1 2\n2 1 2 2\n2 1 2 3\n3 1 3 4\n"
      "$EndElements\n";
  const struct {
    std::string name, text;
    bool geographic;
    std::vector<int> lines;
  } cases[] = {{"m-depth.ts", m_depth, false, {16, 17}}, {"km-up.TS", km_up, false, {6, 7}},
               {"deg.ts", deg, true, {11, 12}},          {"v2.msh", msh2, false, {19, 20}},
               {"v4.msh", msh4, false, {26, 27}},        {"v4-deg.MSH", msh4, true, {26, 27}}};
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Projector proj{c.geographic, 1.0, 1.5};
    write_file(dir / c.name, c.text);
    const Mesh mesh = read_mesh((dir / c.name).string(), proj);
    ASSERT_EQ(mesh.vertices.size(), 4u);
    for (int k = 0; k < 4; ++k) {
      double east, north;
      proj.project(kBase[k][0], kBase[k][1], east, north);
      EXPECT_NEAR(mesh.vertices[k][0], east, 1e-6);
      EXPECT_NEAR(mesh.vertices[k][1], north, 1e-6);
      EXPECT_NEAR(mesh.vertices[k][2], kBase[k][2] * 1e3, 1e-9);
    }
    using T = std::array<int, 3>;
    EXPECT_EQ(mesh.triangles, (std::vector<T>{T{0, 1, 2}, T{0, 2, 3}}));
    EXPECT_EQ(mesh.lines, c.lines);
  }
}

TEST(Mesh, DamagedFilesAreRefusedAtTheirLine) {
  const std::string ts = "GOCAD TSurf 1\nVRTX 1 0 0 -1\nVRTX 2 1 0 -1\nVRTX 3 0 1 -2\n";
  const std::string v2 = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n3\n1 0 0 -1\n2 1 0 -1\n";
  const std::string v4 =
      "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Nodes\n1 3 1 3\n2 1 0 3\n1\n2\n3\n"
      "0 0 -1\n1 0 -1\n0 1 -1\n$EndNodes\n$Elements\n1 1 1 1\n2 1 2 1\n";
  const struct {
    std::string name, text, message;
  } cases[] = {
      {"a.ts", ts + "TRGL 1 2 9\n", "line 5: the triangle names vertex 9, which"},
      {"a.ts", ts + "VRTX 4 2 0 -1\nTRGL 1 2 4\n", "line 6: the triangle is degenerate"},
      {"a.ts", ts + "ATOM 5 1\nTRGL 1 5 3\n", "line 6: the triangle names a vertex twice"},
      {"a.ts", ts + "VRTX 4 3 3 0.5\nTRGL 1 2 4\n",
       "line 6: the triangle has a vertex 500 m above"},
      {"a.ts", ts + "VRTX 2 5 5 -5\n", "line 5: vertex 2 is defined twice"},
      {"a.ts", ts + "VRTX 4 0 x -1\n", "line 5: 'x' is not a number"},
      {"a.ts", ts + "PVRTX 4 0 0\n", "line 5: PVRTX needs an id and three coordinates"},
      {"a.ts", ts + "ATOM 5 8\n", "line 5: vertex 8 is not defined before this line"},
      {"a.ts", ts + "END\n", "line 5: the file holds no triangle"},
      {"a.ts", "GOCAD TSurf 1\nVRTX 1 0 0 -1\nVRTX 2 1 0 -1\n",
       "line 3: the file holds 2 vertices"},
      {"a.ts", "GOCAD TSurf 1\nGOCAD_ORIGINAL_COORDINATE_SYSTEM\nAXIS_UNIT m m m\n",
       "line 2: GOCAD_ORIGINAL_COORDINATE_SYSTEM without END"},
      {"a.ts", "GOCAD TSurf 1\nGOCAD_ORIGINAL_COORDINATE_SYSTEM\nAXIS_UNIT ft ft ft\n",
       "line 3: unit ft: kirva-syn reads m or km"},
      {"a.ts", "GOCAD TSurf 1\nHEADER {\nname:x\n", "line 2: the block opened by '{'"},
      {"a.ts", "GOCAD PLine 1\n", "line 1: a GOCAD PLine object"},
      {"a.obj", ts, "a.obj: a mesh is a GOCAD TSurf (.ts) or gmsh (.msh) file"},
      {"b.msh", "$MeshFormat\n2.2 1 8\n", "line 2: a binary gmsh file"},
      {"b.msh", "", "line 1: a gmsh file begins with $MeshFormat"},
      {"b.msh", "$MeshFormat\n4.0 0 8\n$EndMeshFormat\n", "line 2: gmsh format 4.0"},
      {"b.msh", v2, "line 4: $Nodes without $EndNodes (the file is truncated)"},
      {"b.msh", v2 + "$EndNodes\n", "line 8: $Nodes ends before all its nodes"},
      {"b.msh", v2 + "3 0 1 -1\n4 0 2 -1\n", "line 9: expected $EndNodes, found '4'"},
      {"b.msh", v2 + "3 0 1 -1\n$EndNodes\n$Elements\n1\n1 2 2 0 1 2 3\n$EndElements\n",
       "line 12: a triangle with 2 tags has 6 + tags values, found 7"},
      {"b.msh", v2 + "3 0 1 -1\n$EndNodes\n$Elements\n1\n1 2 0 1 2 3\n$Nodes\n",
       "line 13: $Elements is not closed by $EndElements before $Nodes"},
      {"b.msh", v2 + "3 0 1 -1\n$EndNodes\n", "line 9: the file holds no 3-node triangle"},
      {"c.msh", v4 + "1 1 2 7\n$EndElements\n", "line 17: the triangle names vertex 7"},
      {"c.msh", v4 + "1 1 2\n$EndElements\n", "line 17: expected 4 values, found 3"},
      {"c.msh", v4 + "$EndElements\n", "line 17: $Elements ends before all its elements"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string path = (dir / c.name).string();
    write_file(path, c.text);
    const std::string stop = stop_of([&] { read_mesh(path, Projector{}); });
    EXPECT_NE(stop.find("kirva-syn: " + path), std::string::npos) << stop;
    EXPECT_NE(stop.find(c.message), std::string::npos) << c.message << "\n" << stop;
  }
  // A vertex a rounding above the surface lies on it.
  const std::string path = (dir / "s.ts").string();
  write_file(path, ts + "VRTX 4 3 3 1e-13\nTRGL 1 2 4\n");
  EXPECT_EQ(read_mesh(path, Projector{}).vertices[3][2], 0.0);
}

TEST(Mesh, SlipOfTheTriangles) {
  TempDir dir;
  const std::string path = (dir / "slip.txt").string();
  const auto read = [&](const std::string& text, std::size_t n, bool opening) {
    write_file(path, text);
    return read_mesh_slip(path, n, opening);
  };
  const std::string two = "# strike dip\n1.5 -2\n\n0 3  # the second\n";
  const auto s = read(two, 2, false);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].strike, 1.5);
  EXPECT_EQ(s[0].dip, -2);
  EXPECT_EQ(s[1].dip, 3);
  EXPECT_EQ(s[1].opening, 0);
  EXPECT_EQ(read("1 2 0.25\n0 0\n", 2, true)[0].opening, 0.25);
  const struct {
    std::string text;
    bool opening;
    std::string message;
  } bad[] = {{"1 2 0.25\n0 0\n", false,
              "line 1: a third column, the opening, needs a library "
              "made with `kirva --isotropic`"},
             {two + "4 4\n", false, path + " holds 3 slip lines for 2 triangles"},
             {"1 2\n", true, path + " holds 1 slip lines for 2 triangles"},
             {"1 2\n1 nan\n", true, path + " line 2: 'nan' is not a number"},
             {"1 2\n1\n", true, path + " line 2: expected strike-slip and dip-slip (and the"}};
  for (const auto& b : bad) {
    const std::string stop = stop_of([&] { read(b.text, 2, b.opening); });
    EXPECT_NE(stop.find(b.message), std::string::npos) << b.message << "\n" << stop;
  }
}

}  // namespace
}  // namespace kirva::syn
