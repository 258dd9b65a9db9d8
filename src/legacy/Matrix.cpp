#include "Matrix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace {

// Index and shape errors are programming errors. The check stays on in release builds, unlike
// assert(), because a wrong index would otherwise write outside the element array.
[[noreturn]] void failCheck(const char* condition, int line, const char* function)
{
    std::fprintf(stderr, "src/legacy/Matrix.cpp:%d: %s: Assertion `%s' failed.\n", line, function,
                 condition);
    std::fflush(stderr);
    std::abort();
}

#define MATRIX_CHECK(cond) ((cond) ? static_cast<void>(0) : failCheck(#cond, __LINE__, __func__))

// The largest element count whose byte size still fits a signed 32-bit size.
const long long kMaxElements = 268435455;

const double kEpsilon = std::numeric_limits<double>::epsilon();

}  // namespace

Matrix::Matrix() : data(nullptr), m(0), n(0) {}

Matrix::Matrix(int rows, int cols) : data(nullptr), m(0), n(0)
{
    allocate(rows, cols);
}

Matrix::Matrix(const Matrix& other) : data(nullptr), m(0), n(0)
{
    allocate(other.m, other.n);
    std::copy(other.data, other.data + static_cast<long long>(m) * n, data);
}

Matrix::Matrix(Matrix&& other) noexcept : data(other.data), m(other.m), n(other.n)
{
    other.data = nullptr;
    other.m = 0;
    other.n = 0;
}

Matrix::~Matrix()
{
    delete[] data;
}

Matrix& Matrix::operator=(const Matrix& other)
{
    if (this != &other) {
        if (m != other.m || n != other.n)
            allocate(other.m, other.n);
        std::copy(other.data, other.data + static_cast<long long>(m) * n, data);
    }
    return *this;
}

Matrix& Matrix::operator=(Matrix&& other) noexcept
{
    if (this != &other) {
        std::swap(data, other.data);
        std::swap(m, other.m);
        std::swap(n, other.n);
    }
    return *this;
}

void Matrix::allocate(int rows, int cols)
{
    const long long count = static_cast<long long>(rows) * cols;
    if (rows < 0 || cols < 0 || count > kMaxElements)
        throw std::bad_array_new_length();
    double* fresh = count > 0 ? new double[count]() : nullptr;
    delete[] data;
    data = fresh;
    m = rows;
    n = cols;
}

void Matrix::Resize(int rows, int cols)
{
    allocate(rows, cols);
}

void Matrix::Resize(const Matrix& shape)
{
    allocate(shape.m, shape.n);
}

void Matrix::SetValues(const double* values)
{
    std::copy(values, values + static_cast<long long>(m) * n, data);
}

double& Matrix::operator()(int i, int j)
{
    MATRIX_CHECK(i >= 1 && i <= m);
    MATRIX_CHECK(j >= 1 && j <= n);
    return data[(i - 1) * n + (j - 1)];
}

double Matrix::operator()(int i, int j) const
{
    MATRIX_CHECK(i >= 1 && i <= m);
    MATRIX_CHECK(j >= 1 && j <= n);
    return data[(i - 1) * n + (j - 1)];
}

Matrix Matrix::Row(int i) const
{
    MATRIX_CHECK(i >= 1 && i <= m);
    Matrix row(1, n);
    std::copy(data + (i - 1) * n, data + i * n, row.data);
    return row;
}

Matrix Matrix::Column(int j) const
{
    MATRIX_CHECK(j >= 1 && j <= n);
    Matrix col(m, 1);
    for (int i = 0; i < m; ++i)
        col.data[i] = data[i * n + (j - 1)];
    return col;
}

void Matrix::SetRow(int i, const Matrix& mat, int ii)
{
    MATRIX_CHECK(i >= 1 && i <= m);
    MATRIX_CHECK(ii >= 1 && ii <= mat.m);
    const int count = std::min(n, mat.n);
    for (int j = 0; j < count; ++j)
        data[(i - 1) * n + j] = mat.data[(ii - 1) * mat.n + j];
}

void Matrix::SetColumn(int j, const Matrix& mat, int jj)
{
    MATRIX_CHECK(j >= 1 && j <= n);
    MATRIX_CHECK(jj >= 1 && jj <= mat.n);
    const int count = std::min(m, mat.m);
    for (int i = 0; i < count; ++i)
        data[i * n + (j - 1)] = mat.data[i * mat.n + (jj - 1)];
}

Matrix Matrix::SubMatrix(int i1, int j1, int i2, int j2) const
{
    MATRIX_CHECK(i1 >= 1 && i1 <= m);
    MATRIX_CHECK(i2 >= i1 && i2 <= m);
    MATRIX_CHECK(j1 >= 1 && j1 <= n);
    MATRIX_CHECK(j2 >= j1 && j2 <= n);
    Matrix sub(i2 - i1 + 1, j2 - j1 + 1);
    for (int i = 0; i < sub.m; ++i)
        for (int j = 0; j < sub.n; ++j)
            sub.data[i * sub.n + j] = data[(i1 - 1 + i) * n + (j1 - 1 + j)];
    return sub;
}

Matrix Matrix::operator|(const Matrix& mat) const
{
    if (m * n == 0)
        return mat;
    if (mat.m * mat.n == 0)
        return *this;
    MATRIX_CHECK(m == mat.m);
    Matrix joined(m, n + mat.n);
    for (int i = 0; i < m; ++i) {
        std::copy(data + i * n, data + (i + 1) * n, joined.data + i * joined.n);
        std::copy(mat.data + i * mat.n, mat.data + (i + 1) * mat.n, joined.data + i * joined.n + n);
    }
    return joined;
}

Matrix& Matrix::operator|=(const Matrix& mat)
{
    *this = *this | mat;
    return *this;
}

Matrix Matrix::operator&(const Matrix& mat) const
{
    if (m * n == 0)
        return mat;
    if (mat.m * mat.n == 0)
        return *this;
    MATRIX_CHECK(n == mat.n);
    // Row-major storage: the rows below simply follow the rows above.
    Matrix joined(m + mat.m, n);
    std::copy(data, data + m * n, joined.data);
    std::copy(mat.data, mat.data + mat.m * mat.n, joined.data + m * n);
    return joined;
}

Matrix& Matrix::operator&=(const Matrix& mat)
{
    *this = *this & mat;
    return *this;
}

Matrix Matrix::operator+(double s) const
{
    Matrix r(*this);
    return r += s;
}

Matrix Matrix::operator-(double s) const
{
    Matrix r(*this);
    return r -= s;
}

Matrix Matrix::operator*(double s) const
{
    Matrix r(*this);
    return r *= s;
}

Matrix Matrix::operator/(double s) const
{
    Matrix r(*this);
    return r /= s;
}

Matrix& Matrix::operator+=(double s)
{
    for (int k = 0; k < m * n; ++k)
        data[k] += s;
    return *this;
}

Matrix& Matrix::operator-=(double s)
{
    for (int k = 0; k < m * n; ++k)
        data[k] -= s;
    return *this;
}

Matrix& Matrix::operator*=(double s)
{
    for (int k = 0; k < m * n; ++k)
        data[k] *= s;
    return *this;
}

Matrix& Matrix::operator/=(double s)
{
    for (int k = 0; k < m * n; ++k)
        data[k] /= s;
    return *this;
}

Matrix Matrix::operator+(const Matrix& mat) const
{
    Matrix r(*this);
    return r += mat;
}

Matrix Matrix::operator-(const Matrix& mat) const
{
    Matrix r(*this);
    return r -= mat;
}

Matrix Matrix::operator*(const Matrix& mat) const
{
    MATRIX_CHECK(n == mat.m);
    Matrix r(m, mat.n);
    for (int i = 0; i < m; ++i)
        for (int k = 0; k < n; ++k) {
            const double a = data[i * n + k];
            for (int j = 0; j < mat.n; ++j)
                r.data[i * r.n + j] += a * mat.data[k * mat.n + j];
        }
    return r;
}

Matrix& Matrix::operator+=(const Matrix& mat)
{
    MATRIX_CHECK(m == mat.m);
    MATRIX_CHECK(n == mat.n);
    for (int k = 0; k < m * n; ++k)
        data[k] += mat.data[k];
    return *this;
}

Matrix& Matrix::operator-=(const Matrix& mat)
{
    MATRIX_CHECK(m == mat.m);
    MATRIX_CHECK(n == mat.n);
    for (int k = 0; k < m * n; ++k)
        data[k] -= mat.data[k];
    return *this;
}

Matrix& Matrix::operator*=(const Matrix& mat)
{
    *this = *this * mat;
    return *this;
}

Matrix operator*(double s, const Matrix& mat)
{
    return mat * s;
}

Matrix Matrix::T() const
{
    Matrix t(n, m);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j)
            t.data[j * m + i] = data[i * n + j];
    return t;
}

bool Matrix::SetIdentity()
{
    if (!IsSquare())
        return false;
    std::fill(data, data + m * n, 0.0);
    for (int i = 0; i < m; ++i)
        data[i * n + i] = 1.0;
    return true;
}

bool Matrix::IsSymmetric() const
{
    if (!IsSquare())
        return false;
    for (int i = 0; i < m; ++i)
        for (int j = i + 1; j < n; ++j)
            if (std::fabs(data[i * n + j] - data[j * n + i]) > kEpsilon)
                return false;
    return true;
}

double Matrix::Trace() const
{
    if (!IsSquare())
        return std::numeric_limits<double>::infinity();
    double sum = 0.0;
    for (int i = 0; i < m; ++i)
        sum += data[i * n + i];
    return sum;
}

double Matrix::Determinant() const
{
    if (!IsSquare())
        return std::numeric_limits<double>::infinity();
    if (n == 2)
        return data[0] * data[3] - data[1] * data[2];

    // Leibniz expansion: every permutation of the column indices, each product signed by the
    // parity of its inversions. n! terms, which is fine for the small matrices used here.
    std::vector<int> perm(n);
    for (int k = 0; k < n; ++k)
        perm[k] = k;
    double det = 0.0;
    do {
        int inversions = 0;
        for (int a = 0; a < n; ++a)
            for (int b = a + 1; b < n; ++b)
                if (perm[a] > perm[b])
                    ++inversions;
        double product = (inversions % 2 == 0) ? 1.0 : -1.0;
        for (int i = 0; i < n; ++i)
            product *= data[i * n + perm[i]];
        det += product;
    } while (std::next_permutation(perm.begin(), perm.end()));
    return det;
}

bool Matrix::Eigenvalues(Matrix& vectors, Matrix& values) const
{
    if (!IsSquare())
        return false;
    vectors = *this;
    values.Resize(n, n);
    if (n == 0)
        return true;

    // V is worked on in place; d collects the diagonal (then the eigenvalues), e the
    // sub-diagonal.
    double* V = vectors.data;
    auto v = [V, this](int i, int j) -> double& { return V[i * n + j]; };
    std::vector<double> d(n), e(n);

    // Householder reduction of the symmetric matrix to tridiagonal form, accumulating the
    // orthogonal transformations in V.
    for (int j = 0; j < n; ++j)
        d[j] = v(n - 1, j);
    for (int i = n - 1; i > 0; --i) {
        double scale = 0.0;
        double h = 0.0;
        for (int k = 0; k < i; ++k)
            scale += std::fabs(d[k]);
        if (scale == 0.0) {
            e[i] = d[i - 1];
            for (int j = 0; j < i; ++j) {
                d[j] = v(i - 1, j);
                v(i, j) = 0.0;
                v(j, i) = 0.0;
            }
        } else {
            for (int k = 0; k < i; ++k) {
                d[k] /= scale;
                h += d[k] * d[k];
            }
            double f = d[i - 1];
            double g = std::sqrt(h);
            if (f > 0)
                g = -g;
            e[i] = scale * g;
            h -= f * g;
            d[i - 1] = f - g;
            for (int j = 0; j < i; ++j)
                e[j] = 0.0;
            for (int j = 0; j < i; ++j) {
                f = d[j];
                v(j, i) = f;
                g = e[j] + v(j, j) * f;
                for (int k = j + 1; k <= i - 1; ++k) {
                    g += v(k, j) * d[k];
                    e[k] += v(k, j) * f;
                }
                e[j] = g;
            }
            f = 0.0;
            for (int j = 0; j < i; ++j) {
                e[j] /= h;
                f += e[j] * d[j];
            }
            const double hh = f / (h + h);
            for (int j = 0; j < i; ++j)
                e[j] -= hh * d[j];
            for (int j = 0; j < i; ++j) {
                f = d[j];
                g = e[j];
                for (int k = j; k <= i - 1; ++k)
                    v(k, j) -= (f * e[k] + g * d[k]);
                d[j] = v(i - 1, j);
                v(i, j) = 0.0;
            }
        }
        d[i] = h;
    }
    for (int i = 0; i < n - 1; ++i) {
        v(n - 1, i) = v(i, i);
        v(i, i) = 1.0;
        const double h = d[i + 1];
        if (h != 0.0) {
            for (int k = 0; k <= i; ++k)
                d[k] = v(k, i + 1) / h;
            for (int j = 0; j <= i; ++j) {
                double g = 0.0;
                for (int k = 0; k <= i; ++k)
                    g += v(k, i + 1) * v(k, j);
                for (int k = 0; k <= i; ++k)
                    v(k, j) -= g * d[k];
            }
        }
        for (int k = 0; k <= i; ++k)
            v(k, i + 1) = 0.0;
    }
    for (int j = 0; j < n; ++j) {
        d[j] = v(n - 1, j);
        v(n - 1, j) = 0.0;
    }
    v(n - 1, n - 1) = 1.0;
    e[0] = 0.0;

    // Implicit QL iterations on the tridiagonal matrix, rotating V along.
    for (int i = 1; i < n; ++i)
        e[i - 1] = e[i];
    e[n - 1] = 0.0;
    double f = 0.0;
    double tst1 = 0.0;
    for (int l = 0; l < n; ++l) {
        tst1 = std::max(tst1, std::fabs(d[l]) + std::fabs(e[l]));
        // e[n - 1] is zero, so the search always ends at n - 1 at the latest.
        int mm = l;
        while (mm < n - 1 && !(std::fabs(e[mm]) <= kEpsilon * tst1))
            ++mm;
        if (mm > l) {
            // Converges in a few sweeps; the cap only guards against non-finite input.
            for (int iter = 0; iter < 100; ++iter) {
                double g = d[l];
                double p = (d[l + 1] - g) / (2.0 * e[l]);
                double r = std::hypot(p, 1.0);
                if (p < 0)
                    r = -r;
                d[l] = e[l] / (p + r);
                d[l + 1] = e[l] * (p + r);
                const double dl1 = d[l + 1];
                double h = g - d[l];
                for (int i = l + 2; i < n; ++i)
                    d[i] -= h;
                f += h;

                p = d[mm];
                double c = 1.0, c2 = 1.0, c3 = 1.0;
                const double el1 = e[l + 1];
                double s = 0.0, s2 = 0.0;
                for (int i = mm - 1; i >= l; --i) {
                    c3 = c2;
                    c2 = c;
                    s2 = s;
                    g = c * e[i];
                    h = c * p;
                    r = std::hypot(p, e[i]);
                    e[i + 1] = s * r;
                    s = e[i] / r;
                    c = p / r;
                    p = c * d[i] - s * g;
                    d[i + 1] = h + s * (c * g + s * d[i]);
                    for (int k = 0; k < n; ++k) {
                        h = v(k, i + 1);
                        v(k, i + 1) = s * v(k, i) + c * h;
                        v(k, i) = c * v(k, i) - s * h;
                    }
                }
                p = -s * s2 * c3 * el1 * e[l] / dl1;
                e[l] = s * p;
                d[l] = c * p;
                if (!(std::fabs(e[l]) > kEpsilon * tst1))
                    break;
            }
        }
        d[l] += f;
        e[l] = 0.0;
    }

    // Ascending eigenvalues, eigenvectors following their values.
    for (int i = 0; i < n - 1; ++i) {
        int k = i;
        double p = d[i];
        for (int j = i + 1; j < n; ++j)
            if (d[j] < p) {
                k = j;
                p = d[j];
            }
        if (k != i) {
            d[k] = d[i];
            d[i] = p;
            for (int j = 0; j < n; ++j)
                std::swap(v(j, i), v(j, k));
        }
    }
    for (int i = 0; i < n; ++i)
        values.data[i * n + i] = d[i];
    return true;
}
