#pragma once

// Vec3 goes to GL as the float[3] that glNormal3fv and glVertex3fv read.

#include "common/Vec3.h"
#include "common/GlHeaders.h"

static_assert(sizeof(Vec3) == 3 * sizeof(GLfloat), "Vec3 must be laid out as GLfloat[3]");

inline void SendNormal(const Vec3& normal)
{
    glNormal3fv(&normal.x);
}

inline void SendVertex(const Vec3& vertex)
{
    glVertex3fv(&vertex.x);
}
