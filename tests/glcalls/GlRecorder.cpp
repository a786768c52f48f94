#include "GlRecorder.h"

#include <initializer_list>

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

bool recording = true;

void Record(const char* name, std::initializer_list<long long> ints,
            std::initializer_list<double> reals = {}, const GLfloat* values = nullptr, int count = 0)
{
    if (!recording) {
        return;
    }
    GlCall call{name, ints, reals};
    for (int i = 0; i < count; ++i) {
        call.reals.push_back(values[i]);
    }
    GetRecordedGlCalls().push_back(call);
}

// How many floats a glLightfv or glMaterialfv reads for its parameter.
int CountParameters(GLenum pname)
{
    switch (pname) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
    case GL_POSITION:
    case GL_EMISSION:
    case GL_AMBIENT_AND_DIFFUSE:
        return 4;
    case GL_SPOT_DIRECTION:
    case GL_COLOR_INDEXES:
        return 3;
    default:
        return 1;
    }
}

} // namespace

bool operator==(const GlCall& a, const GlCall& b)
{
    return a.name == b.name && a.ints == b.ints && a.reals == b.reals;
}

void PrintTo(const GlCall& call, std::ostream* out)
{
    *out << call.name << "(";
    const char* separator = "";
    for (long long value : call.ints) {
        *out << separator << "0x" << std::hex << value << std::dec;
        separator = ", ";
    }
    out->precision(9);
    for (double value : call.reals) {
        *out << separator << value;
        separator = ", ";
    }
    *out << ")";
}

std::vector<GlCall>& GetRecordedGlCalls()
{
    static std::vector<GlCall> calls;
    return calls;
}

void SetGlRecording(bool on)
{
    recording = on;
}

// The entry points, declared by the system headers included above, so that each definition must
// match its declaration exactly.
extern "C" {

void glMatrixMode(GLenum mode)
{
    Record("glMatrixMode", {mode});
}

void glLoadIdentity()
{
    Record("glLoadIdentity", {});
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    Record("gluPerspective", {}, {fovy, aspect, zNear, zFar});
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    Record("glTranslatef", {}, {x, y, z});
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    Record("glRotatef", {}, {angle, x, y, z});
}

void glLightfv(GLenum light, GLenum pname, const GLfloat* params)
{
    Record("glLightfv", {light, pname}, {}, params, CountParameters(pname));
}

void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params)
{
    Record("glMaterialfv", {face, pname}, {}, params, CountParameters(pname));
}

void glMaterialf(GLenum face, GLenum pname, GLfloat param)
{
    Record("glMaterialf", {face, pname}, {param});
}

void glEnable(GLenum cap)
{
    Record("glEnable", {cap});
}

void glNewList(GLuint list, GLenum mode)
{
    Record("glNewList", {list, mode});
}

void glEndList()
{
    Record("glEndList", {});
}

void glCallList(GLuint list)
{
    Record("glCallList", {list});
}

void glBegin(GLenum mode)
{
    Record("glBegin", {mode});
}

void glEnd()
{
    Record("glEnd", {});
}

void glNormal3fv(const GLfloat* v)
{
    Record("glNormal3fv", {}, {}, v, 3);
}

void glVertex3fv(const GLfloat* v)
{
    Record("glVertex3fv", {}, {}, v, 3);
}

void glDepthFunc(GLenum func)
{
    Record("glDepthFunc", {func});
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    Record("glClearColor", {}, {red, green, blue, alpha});
}

void glFrontFace(GLenum mode)
{
    Record("glFrontFace", {mode});
}

void glCullFace(GLenum mode)
{
    Record("glCullFace", {mode});
}

void glShadeModel(GLenum mode)
{
    Record("glShadeModel", {mode});
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    Record("glViewport", {x, y, width, height});
}

void glClear(GLbitfield mask)
{
    Record("glClear", {mask});
}

} // extern "C"
