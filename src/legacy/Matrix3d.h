#ifndef QCAN_LEGACY_MATRIX3D_H
#define QCAN_LEGACY_MATRIX3D_H

#include "Matrix.h"

class Vector3d;
class Quat;

// A 3 by 3 matrix, mostly used as a rotation acting on column vectors (v' = M v).
class Matrix3d : public Matrix
{
public:
    Matrix3d();
    Matrix3d(const Matrix3d& other) = default;
    // Lets products and sums of 3 by 3 matrices (which are Matrix) be kept as Matrix3d; the source
    // must be 3 by 3.
    Matrix3d(const Matrix& other);
    Matrix3d& operator=(const Matrix3d& other) = default;
    ~Matrix3d() override = default;

    // The Matrix forms (copying from another matrix) stay available beside the vector forms.
    using Matrix::SetColumn;
    using Matrix::SetRow;
    void SetRow(int row, const Vector3d& v);
    void SetColumn(int column, const Vector3d& v);
    Vector3d Row(int row) const;
    Vector3d Column(int column) const;

    // Right-handed rotation by angle about axis; the axis is normalised first and a zero axis
    // gives the identity.
    void SetRotation(double angle, const Vector3d& axis);
    // The rotation matrix of the quaternion (Quat::RotationMatrix).
    void SetRotation(const Quat& q);
    // Rz(c) * Ry(b) * Rx(a): about X by a, then the fixed Y by b, then the fixed Z by c; the same
    // rotation as Quat::SetFromAngles(a, b, c).
    void SetRotation(double a, double b, double c);

    // Multiply from the left by a quarter turn about the axis: positive (counter-clockwise looking
    // down the axis) when positive is true, negative otherwise. Only rows are exchanged and
    // negated, so the result is exact.
    void RotateXBy90(bool positive);
    void RotateYBy90(bool positive);
    void RotateZBy90(bool positive);

private:
    // New row a = old row b and new row b = old row a; positive negates the copy going into a.
    void swapRowsBy90(int a, int b, bool positive);
};

#endif
