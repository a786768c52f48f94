#include "scene/FrameDrawing.h"

#include "common/ClientSize.h"
#include "common/GlHeaders.h"
#include "scene/Animation.h"
#include "scene/FloatStore.h"
#include "scene/Geometry.h"
#include "scene/GlVertex.h"
#include "scene/SceneSetup.h"

namespace {

Vec3 ScaleVertex(const Vec3& v, float factor)
{
    return {StoreFloat(static_cast<double>(v.x) * factor), StoreFloat(static_cast<double>(v.y) * factor),
            StoreFloat(static_cast<double>(v.z) * factor)};
}

// Flat shading lights each triangle with the normal current at its closing vertex, so the normal
// of each triangle is sent just before that vertex.
void SendFanTriangle(const Vec3& apex, const Vec3& from, const Vec3& to)
{
    Vec3 normal;
    ComputeFaceNormal(apex, from, to, &normal);
    SendNormal(normal);
    SendVertex(to);
}

void DrawPyramidFan(int k, float scale)
{
    const std::uint32_t* corners = pentagonFaces[k];
    const Vec3 apex = ScaleVertex(icosaVertices[k], scale);
    const Vec3& first = dualVertices[corners[0]];

    glBegin(GL_TRIANGLE_FAN);
    Vec3 normal;
    ComputeFaceNormal(apex, first, dualVertices[corners[1]], &normal);
    SendNormal(normal);
    SendVertex(apex);
    SendVertex(first);
    SendVertex(dualVertices[corners[1]]);
    for (int i = 1; i < PENTAGON_CORNERS; ++i) {
        const int next = (i + 1) % PENTAGON_CORNERS;
        SendFanTriangle(apex, dualVertices[corners[i]], dualVertices[corners[next]]);
    }
    glEnd();
}

} // namespace

void DrawFrame()
{
    glViewport(0, 0, clientWidth, clientHeight);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    // A vertex is moved along the object's own z axis first, then turned about x, y and z.
    glRotatef(animationState.angleZ, 0.0f, 0.0f, 1.0f);
    glRotatef(animationState.angleY, 0.0f, 1.0f, 0.0f);
    glRotatef(animationState.angleX, 1.0f, 0.0f, 0.0f);
    glTranslatef(0.0f, 0.0f, animationState.zOffset);

    // The depth test sorts out where the pyramids and the icosahedron cross.
    DrawPyramidFans();
    glCallList(ICOSAHEDRON_LIST);
}

// The apexes move every tick, so the fans are sent anew each frame.
void DrawPyramidFans()
{
    for (int k = 0; k < PENTAGON_COUNT; ++k) {
        DrawPyramidFan(k, animationState.scale);
    }
}
