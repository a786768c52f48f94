/* A stand-in opengl32.dll for the failure cases: put beside a copy of the program with Wine's
 * "opengl32=n,b" override, it answers the program (and gdi32 and glu32, which call into
 * opengl32 for the pixel format and for GLU) with no driver at all behind it.
 *
 * FAKE_GL_FAIL names the one step that fails: "wglChoosePixelFormat", "wglSetPixelFormat",
 * "wglCreateContext" or "wglMakeCurrent"; anything else lets every step succeed, and then
 * glGetString answers NULL for every name, as a driver that gives no strings would.
 * FAKE_GL_LOG names a file that gets one line per context call: "create <ctx> <result>",
 * "current <ctx> <result>", "delete <ctx> <result>"; the descriptor as handed over when the pixel
 * format is chosen and when it is set, with the format returned or given ("descriptor choose
 * <format> <40 bytes in hex, or none>", "descriptor set ..."); and, when it is chosen, the
 * fields of the window's class as the program registered it, read here inside its process
 * ("class <style> <brush> <cursor> <arrow cursor> <icon> <icon 101 of the exe>").
 *
 * No windows.h: its declarations of these very functions are imports, and these are exports.
 * Every function keeps its real parameter list, since stdcall callees pop their own arguments. */

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#define API __stdcall
#define EXPORT __declspec(dllexport)

typedef int BOOL;
typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef int GLint;
typedef int GLsizei;
typedef float GLfloat;
typedef double GLdouble;
typedef unsigned int GLbitfield;
typedef void* HANDLE;

__declspec(dllimport) unsigned long API GetEnvironmentVariableA(const char* name, char* value,
                                                              unsigned long size);
__declspec(dllimport) HANDLE API GetModuleHandleA(const char* name);
__declspec(dllimport) HANDLE API WindowFromDC(HANDLE dc);
__declspec(dllimport) HANDLE API LoadCursorA(HANDLE instance, const char* name);
__declspec(dllimport) HANDLE API LoadIconA(HANDLE instance, const char* name);
#ifdef _WIN64
__declspec(dllimport) unsigned long long API GetClassLongPtrA(HANDLE window, int index);
#define CLASS_FIELD(window, index) ((unsigned long long)GetClassLongPtrA(window, index))
#else
__declspec(dllimport) unsigned long API GetClassLongA(HANDLE window, int index);
#define CLASS_FIELD(window, index) ((unsigned long long)GetClassLongA(window, index))
#endif
#define GCL_STYLE (-26)
#define GCLP_HBRBACKGROUND (-10)
#define GCLP_HCURSOR (-12)
#define GCLP_HICON (-14)
#define IDC_ARROW ((const char*)(size_t)32512)
#define IDI_APPICON ((const char*)(size_t)101)
#define PIXELFORMATDESCRIPTOR_SIZE 40

#define FAKE_CONTEXT ((HANDLE)0x5a5a)
/* The one pixel format there is; not 1, so that the format the program sets is seen to be the
 * one chosen. */
#define FAKE_FORMAT 3

static char failing[64];
static char logPath[512];
static int configured;

static void Configure(void)
{
    if (!configured) {
        configured = 1;
        if (GetEnvironmentVariableA("FAKE_GL_FAIL", failing, sizeof failing) >= sizeof failing) {
            failing[0] = '\0';
        }
        if (GetEnvironmentVariableA("FAKE_GL_LOG", logPath, sizeof logPath) >= sizeof logPath) {
            logPath[0] = '\0';
        }
    }
}

static int Fails(const char* step)
{
    Configure();
    return strcmp(failing, step) == 0;
}

static void LogLine(const char* format, ...)
{
    FILE* log;
    va_list args;
    Configure();
    if (logPath[0] == '\0' || (log = fopen(logPath, "a")) == NULL) {
        return;
    }
    va_start(args, format);
    vfprintf(log, format, args);
    va_end(args);
    fclose(log);
}

static void Log(const char* what, HANDLE context, int result)
{
    LogLine("%s %lu %d\n", what, (unsigned long)(size_t)context, result);
}

static void LogDescriptor(const char* step, int format, const unsigned char* descriptor)
{
    char hex[2 * PIXELFORMATDESCRIPTOR_SIZE + 1] = "none";
    int i;
    for (i = 0; descriptor != NULL && i < PIXELFORMATDESCRIPTOR_SIZE; ++i) {
        sprintf(hex + 2 * i, "%02x", descriptor[i]);
    }
    LogLine("descriptor %s %d %s\n", step, format, hex);
}

static void LogClass(HANDLE dc)
{
    HANDLE window = WindowFromDC(dc);
    LogLine("class %llu %llu %llu %llu %llu %llu\n", CLASS_FIELD(window, GCL_STYLE),
            CLASS_FIELD(window, GCLP_HBRBACKGROUND), CLASS_FIELD(window, GCLP_HCURSOR),
            (unsigned long long)(size_t)LoadCursorA(NULL, IDC_ARROW),
            CLASS_FIELD(window, GCLP_HICON),
            (unsigned long long)(size_t)LoadIconA(GetModuleHandleA(NULL), IDI_APPICON));
}

/* The pixel format, asked for by gdi32. */
EXPORT int API wglChoosePixelFormat(HANDLE dc, const void* descriptor)
{
    int format = Fails("wglChoosePixelFormat") ? 0 : FAKE_FORMAT;
    LogDescriptor("choose", format, descriptor);
    LogClass(dc);
    return format;
}

EXPORT BOOL API wglSetPixelFormat(HANDLE dc, int format, const void* descriptor)
{
    (void)dc;
    LogDescriptor("set", format, descriptor);
    return !Fails("wglSetPixelFormat");
}

EXPORT int API wglDescribePixelFormat(HANDLE dc, int format, unsigned int size, void* descriptor)
{
    (void)dc;
    (void)format;
    if (descriptor != NULL) {
        memset(descriptor, 0, size);
    }
    return FAKE_FORMAT;
}

EXPORT int API wglGetPixelFormat(HANDLE dc)
{
    (void)dc;
    return FAKE_FORMAT;
}

EXPORT BOOL API wglSwapBuffers(HANDLE dc)
{
    (void)dc;
    return 1;
}

/* The context. */
EXPORT HANDLE API wglCreateContext(HANDLE dc)
{
    HANDLE context = Fails("wglCreateContext") ? NULL : FAKE_CONTEXT;
    (void)dc;
    Log("create", context, context != NULL);
    return context;
}

EXPORT BOOL API wglMakeCurrent(HANDLE dc, HANDLE context)
{
    BOOL result = context == NULL || !Fails("wglMakeCurrent");
    (void)dc;
    Log("current", context, result);
    return result;
}

EXPORT BOOL API wglDeleteContext(HANDLE context)
{
    Log("delete", context, context == FAKE_CONTEXT);
    return context == FAKE_CONTEXT;
}

EXPORT const unsigned char* API glGetString(GLenum name)
{
    (void)name;
    return NULL;
}

/* Everything else draws nothing. */
EXPORT void API glBegin(GLenum mode) { (void)mode; }
EXPORT void API glCallList(GLuint list) { (void)list; }
EXPORT void API glClear(GLbitfield mask) { (void)mask; }
EXPORT void API glClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { (void)r; (void)g; (void)b; (void)a; }
EXPORT void API glCullFace(GLenum mode) { (void)mode; }
EXPORT void API glDepthFunc(GLenum func) { (void)func; }
EXPORT void API glEnable(GLenum cap) { (void)cap; }
EXPORT void API glEnd(void) {}
EXPORT void API glEndList(void) {}
EXPORT void API glFinish(void) {}
EXPORT void API glFrontFace(GLenum mode) { (void)mode; }
EXPORT void API glLightfv(GLenum light, GLenum name, const GLfloat* v) { (void)light; (void)name; (void)v; }
EXPORT void API glLoadIdentity(void) {}
EXPORT void API glMaterialf(GLenum face, GLenum name, GLfloat v) { (void)face; (void)name; (void)v; }
EXPORT void API glMaterialfv(GLenum face, GLenum name, const GLfloat* v) { (void)face; (void)name; (void)v; }
EXPORT void API glMatrixMode(GLenum mode) { (void)mode; }
EXPORT void API glNewList(GLuint list, GLenum mode) { (void)list; (void)mode; }
EXPORT void API glNormal3fv(const GLfloat* v) { (void)v; }
EXPORT void API glRotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) { (void)a; (void)x; (void)y; (void)z; }
EXPORT void API glShadeModel(GLenum mode) { (void)mode; }
EXPORT void API glTranslatef(GLfloat x, GLfloat y, GLfloat z) { (void)x; (void)y; (void)z; }
EXPORT void API glVertex3fv(const GLfloat* v) { (void)v; }
EXPORT void API glViewport(GLint x, GLint y, GLsizei w, GLsizei h) { (void)x; (void)y; (void)w; (void)h; }

/* What glu32 imports from opengl32. */
EXPORT void API glGetIntegerv(GLenum name, GLint* v) { (void)name; if (v) *v = 0; }
EXPORT void API glGetTexLevelParameteriv(GLenum t, GLint l, GLenum n, GLint* v) { (void)t; (void)l; (void)n; if (v) *v = 0; }
EXPORT void API glMultMatrixd(const GLdouble* m) { (void)m; }
EXPORT void API glMultMatrixf(const GLfloat* m) { (void)m; }
EXPORT void API glNormal3f(GLfloat x, GLfloat y, GLfloat z) { (void)x; (void)y; (void)z; }
EXPORT void API glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) { (void)l; (void)r; (void)b; (void)t; (void)n; (void)f; }
EXPORT void API glPixelStorei(GLenum name, GLint v) { (void)name; (void)v; }
EXPORT void API glScalef(GLfloat x, GLfloat y, GLfloat z) { (void)x; (void)y; (void)z; }
EXPORT void API glTexCoord2f(GLfloat s, GLfloat t) { (void)s; (void)t; }
EXPORT void API glTexImage1D(GLenum t, GLint l, GLint f, GLsizei w, GLint b, GLenum fm, GLenum ty, const void* p) { (void)t; (void)l; (void)f; (void)w; (void)b; (void)fm; (void)ty; (void)p; }
EXPORT void API glTexImage2D(GLenum t, GLint l, GLint f, GLsizei w, GLsizei h, GLint b, GLenum fm, GLenum ty, const void* p) { (void)t; (void)l; (void)f; (void)w; (void)h; (void)b; (void)fm; (void)ty; (void)p; }
EXPORT void API glTranslated(GLdouble x, GLdouble y, GLdouble z) { (void)x; (void)y; (void)z; }
EXPORT void API glVertex3f(GLfloat x, GLfloat y, GLfloat z) { (void)x; (void)y; (void)z; }
