#include "scene/SceneSetup.h"

#include "common/GlHeaders.h"
#include "scene/Geometry.h"
#include "scene/GlVertex.h"

namespace {

constexpr GLdouble FIELD_OF_VIEW_DEGREES = 45.0;
constexpr GLdouble ASPECT_RATIO = 1.0; // fixed: a wider window stretches the picture
constexpr GLdouble NEAR_PLANE = 1.0;
constexpr GLdouble FAR_PLANE = 7.0;
constexpr GLfloat CAMERA_DISTANCE = 4.0f;

constexpr GLfloat WHITE[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLfloat LIGHT0_POSITION[4] = {-5.0f, 5.0f, 5.0f, 1.0f};
constexpr GLfloat LIGHT1_POSITION[4] = {5.0f, 0.0f, 0.0f, 1.0f};

constexpr GLfloat GOLD_AMBIENT[4] = {0.1f, 0.05f, 0.0f, 1.0f};
constexpr GLfloat GOLD_DIFFUSE[4] = {0.65f, 0.55f, 0.15f, 1.0f};
constexpr GLfloat GOLD_SPECULAR[4] = {0.85f, 0.75f, 0.45f, 1.0f};
constexpr GLfloat GOLD_SHININESS = 100.0f;

void SetupWhiteLight(GLenum light, const GLfloat* position)
{
    glLightfv(light, GL_AMBIENT, WHITE);
    glLightfv(light, GL_DIFFUSE, WHITE);
    glLightfv(light, GL_SPECULAR, WHITE);
    glLightfv(light, GL_POSITION, position);
}

// The icosahedron never changes shape, so it goes to the driver once and each frame replays it.
void CompileIcosahedron()
{
    glNewList(ICOSAHEDRON_LIST, GL_COMPILE);
    for (const auto& corners : icosaTriangles) {
        const Vec3& a = icosaVertices[corners[0]];
        const Vec3& b = icosaVertices[corners[1]];
        const Vec3& c = icosaVertices[corners[2]];
        Vec3 normal;
        ComputeFaceNormal(a, b, c, &normal);
        glBegin(GL_TRIANGLES);
        SendNormal(normal);
        SendVertex(a);
        SendVertex(b);
        SendVertex(c);
        glEnd();
    }
    glEndList();
}

} // namespace

void SetupScene()
{
    // The camera offset lives in the projection, so the model-view matrix that each frame resets
    // to the identity already looks at the object from CAMERA_DISTANCE away.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FIELD_OF_VIEW_DEGREES, ASPECT_RATIO, NEAR_PLANE, FAR_PLANE);
    glTranslatef(0.0f, 0.0f, -CAMERA_DISTANCE);
    glMatrixMode(GL_MODELVIEW);

    // Given while the model-view matrix is the identity, the light positions stay fixed relative
    // to the point the object turns about instead of turning and bobbing with it.
    SetupLights();
    CompileIcosahedron();
    SetupMaterial();

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);
    glShadeModel(GL_FLAT);

    BuildDualVertices();
}

void SetupLights()
{
    SetupWhiteLight(GL_LIGHT0, LIGHT0_POSITION);
    SetupWhiteLight(GL_LIGHT1, LIGHT1_POSITION);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
}

// Global state rather than part of the list, so it applies to the list and the fans alike.
void SetupMaterial()
{
    glMaterialfv(GL_FRONT, GL_AMBIENT, GOLD_AMBIENT);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, GOLD_DIFFUSE);
    glMaterialfv(GL_FRONT, GL_SPECULAR, GOLD_SPECULAR);
    glMaterialf(GL_FRONT, GL_SHININESS, GOLD_SHININESS);
}
