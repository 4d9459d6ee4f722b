"""Surface deformation of a finite rectangular dislocation in a homogeneous half-space, in closed
form after Okada (1985), Bull. Seism. Soc. Am. 75(4), 1135-1154: displacement and the horizontal
gradient of the horizontal displacement, hence the whole strain tensor at the free surface, for
strike-slip, dip-slip and tensile components. It depends on numpy only, and the tests of the
layered synthesis compare against it.

Okada's frame: x along strike, y horizontal and to the left of strike, z up. The fault dips toward
-y; its lower edge runs from (0, 0, -d) to (L, 0, -d) and it reaches up dip to eta = W. The
dislocation is the motion of the hanging wall (the -y side) relative to the foot wall: U1 > 0
left-lateral, U2 > 0 reverse, U3 > 0 opening. All his expressions are functions f(xi, eta) of the
receiver's position relative to a point of the fault, and the rectangle is Chinnery's sum
f(x, p) - f(x, p - W) - f(x - L, p) + f(x - L, p - W), with p = y cos(dip) + d sin(dip) and
q = y sin(dip) - d cos(dip). Terms that depend on xi alone or on eta alone cancel in that sum and
are left out, which also removes singular terms on the lines xi = q = 0 and eta = q = 0. The
horizontal derivatives are those of Okada's displacement expressions taken term by term, with his
J and K for the derivatives of his half-space terms I.
"""

import numpy as np

# cos(dip) below this is a vertical fault (cos 90 degrees is 6e-17 in floating point).
VERTICAL = 1e-12


def _kernels(xi, eta, q, sd, cd, mlm):
    """Okada's f(xi, eta) at the surface for unit U1, U2, U3 (the factor 1/2pi left out): a dict
    of the displacements ux, uy, uz and the derivatives d(ux, uy)/d(x, y), each (3,) + shape for
    strike-slip, dip-slip, tensile. mlm = mu/(lambda + mu)."""
    yt = eta * cd + q * sd                    # Okada's y-tilde and d-tilde
    dt = eta * sd - q * cd
    r2 = xi * xi + eta * eta + q * q
    r = np.sqrt(r2)
    r3 = r * r2
    xq2 = xi * xi + q * q
    eq2 = eta * eta + q * q
    # R + eta and R + xi without the cancellation of R - |eta| when eta < 0 and |eta| >> (xi, q).
    with np.errstate(divide="ignore", invalid="ignore"):
        re = np.where(eta >= 0, r + eta, xq2 / (r - eta))
        rx = np.where(xi >= 0, r + xi, eq2 / (r - xi))
        rd = r + dt                           # d-tilde >= 0 at the surface above a buried fault
        # On xi = q = 0, eta < 0, R + eta vanishes: 1/(R + eta) = 0 and ln(R + eta) = -ln(R - eta)
        # (Okada 1985); the same for R + xi on eta = q = 0, xi < 0.
        lre = np.where(re > 0, np.log(re), -np.log(r - eta))
        ire = np.where(re > 0, 1.0 / re, 0.0)
        irx = np.where(rx > 0, 1.0 / rx, 0.0)
        ae = (2 * r + eta) * ire * ire / r3   # A_eta, A_xi
        ax = (2 * r + xi) * irx * irx / r3
        # atan(xi eta / (q R)) steps by pi across the plane q = 0; in the Chinnery sum its values
        # on the plane away from the fault cancel, so 0 there.
        th = np.where(q != 0, np.arctan(xi * eta / (q * r)), 0.0)
        ird = 1.0 / rd
        # Okada's I1..I5 (the terms that the free surface adds to a whole space, through
        # mu/(lambda + mu)) and his J, K, their derivatives: d/dx (I1, I2, I3) = (J1, J2, J3),
        # d/dy (I1, I2, I3) = (J2, J4, J1), d/dx I5 = K3, d/dy I5 = K1. The limits for
        # cos(dip) = 0 are his separate expressions.
        if cd == 0.0:
            ird2 = ird * ird
            i1 = -0.5 * mlm * xi * q * ird2
            i3 = 0.5 * mlm * (eta * ird + yt * q * ird2 - lre)
            i4 = -mlm * q * ird
            i5 = -mlm * xi * sd * ird
            j1 = 0.5 * mlm * q * ird2 * (2 * xi * xi * ird / r - 1)
            j2 = 0.5 * mlm * xi * sd * ird2 * (2 * q * q * ird / r - 1)
            k1 = -mlm * xi * q * ird2 / r
            k3 = mlm * sd * ird * (xi * xi * ird / r - 1)
        else:
            xx = np.sqrt(xq2)                 # Okada's X
            i5 = np.where(xi != 0, 2 * mlm / cd * np.arctan(
                (eta * (xx + q * cd) + xx * (r + xx) * sd) / (xi * (r + xx) * cd)), 0.0)
            i4 = mlm / cd * (np.log(rd) - sd * lre)
            i3 = mlm * (yt * ird / cd - lre) + sd / cd * i4
            i1 = -mlm * xi * ird / cd - sd / cd * i5
            k1 = mlm * xi / cd * (ird / r - sd * ire / r)
            k3 = mlm / cd * (q * ire / r - yt * ird / r)
            j1 = mlm / cd * (xi * xi * ird * ird / r - ird) - sd / cd * k3
            j2 = mlm / cd * xi * yt * ird * ird / r - sd / cd * k1
    i2 = -mlm * lre - i3
    j3 = -mlm * xi * ire / r - j2
    j4 = mlm * (-cd / r - q * sd * ire / r) - j1
    # d/dy of atan(xi eta / (q R)), less terms that cancel in the sum; d/dx of it is likewise
    # -q/(R (R + eta)), written out where it occurs.
    with np.errstate(divide="ignore", invalid="ignore"):
        thy = np.where(eq2 > 0, -xi * dt / (r * eq2), 0.0) + xi * sd * ire / r
    ire2 = ire * ire
    qre = q * ire / r                         # q / (R (R + eta))
    s2 = sd * sd
    sc = sd * cd
    # Okada's (1985) surface displacements, with their signs.
    ux = np.array([-(xi * qre + th + i1 * sd),
                   -(q / r - i3 * sc),
                   q * qre - i3 * s2])
    uy = np.array([-(yt * qre + q * cd * ire + i2 * sd),
                   -(yt * q * irx / r + cd * th - i1 * sc),
                   -dt * q * irx / r - sd * (xi * qre - th) - i1 * s2])
    uz = np.array([-(dt * qre + q * sd * ire + i4 * sd),
                   -(dt * q * irx / r + sd * th - i5 * sc),
                   yt * q * irx / r + cd * (xi * qre - th) - i5 * s2])
    # Their derivatives; d/dy acts at fixed xi and d-tilde, where d(eta, q, y-tilde)/dy =
    # (cos, sin, 1) and dR/dy = y-tilde/R.
    c_re2 = cd * ire2 / r                     # cos / (R (R + eta)^2)
    uxx = np.array([xi * xi * q * ae - j1 * sd,
                    xi * q / r3 + j3 * sc,
                    -xi * q * q * ae - j3 * s2])
    uxy = np.array([-(xi * sd * ire / r - xi * q * (yt * ae + c_re2) + thy + j2 * sd),
                    -(sd / r - q * yt / r3 - j1 * sc),
                    2 * sd * qre - q * q * (yt * ae + c_re2) - j1 * s2])
    uyx = np.array([xi * q * (yt * ae + c_re2) - j2 * sd,
                    yt * q / r3 + cd * qre + j1 * sc,
                    dt * q / r3 - sd * (2 * qre - xi * xi * q * ae) - j1 * s2])
    uyy = np.array([-((q + yt * sd) * ire / r - yt * q * (yt * ae + c_re2) + sc * ire
                      - q * cd * (yt + r * cd) * ire2 / r + j4 * sd),
                    -((q + yt * sd) * irx / r - yt * yt * q * ax + cd * thy - j2 * sc),
                    -dt * sd * irx / r + dt * q * yt * ax
                    - sd * (xi * sd * ire / r - xi * q * (yt * ae + c_re2) - thy) - j2 * s2])
    return dict(ux=ux, uy=uy, uz=uz, uxx=uxx, uxy=uxy, uyx=uyx, uyy=uyy)


def rectangle(x, y, *, xs, ys, xf, yf, dip, top, bottom, strike_slip=0.0, dip_slip=0.0,
              opening=0.0, lam, mu):
    """Displacement and strain at the surface points (x, y) (km, x east, y north) of a rectangular
    dislocation whose top edge runs from (xs, ys) to (xf, yf) (km) at depth top, dipping at dip
    degrees (0 < dip <= 90) to the right of the direction start -> finish down to depth bottom
    (km). strike_slip > 0 is left-lateral (the hanging wall moves along strike, rake 0),
    dip_slip > 0 reverse (rake 90), opening > 0 tensile; all in m. lam, mu: Lame constants (Pa).

    Returns (u, e): u (N, 3) east, north, up (m); e (N, 6) the tensor strain e_ee, e_en, e_eu,
    e_nn, e_nu, e_uu. At the free surface the tractions on horizontal planes vanish, so e_eu =
    e_nu = 0 and e_uu = -lam/(lam + 2 mu) (e_ee + e_nn)."""
    x = np.atleast_1d(np.asarray(x, dtype=float)).ravel()
    y = np.atleast_1d(np.asarray(y, dtype=float)).ravel()
    if not 0.0 < dip <= 90.0:
        raise ValueError("dip must be in (0, 90] degrees, not %g" % dip)
    if not 0.0 <= top < bottom:
        raise ValueError("need 0 <= top < bottom, not top %g, bottom %g" % (top, bottom))
    length = np.hypot(xf - xs, yf - ys)
    if length == 0.0:
        raise ValueError("the top edge has no length")
    delta = np.radians(dip)
    sd, cd = np.sin(delta), np.cos(delta)
    if cd < VERTICAL:
        sd, cd = 1.0, 0.0
    width = (bottom - top) / sd
    se, sn = (xf - xs) / length, (yf - ys) / length   # along strike
    le, ln = -sn, se                                   # Okada's y: left of strike
    # His origin: the start of the lower edge, W cos(dip) to the right of the top edge.
    oe, on = xs - le * width * cd, ys - ln * width * cd
    xl = (x - oe) * se + (y - on) * sn
    yl = (x - oe) * le + (y - on) * ln
    p = yl * cd + bottom * sd
    q = yl * sd - bottom * cd
    mlm = mu / (lam + mu)
    slip = np.array([strike_slip, dip_slip, opening])
    total = None
    for xi, eta, sign in ((xl, p, 1), (xl, p - width, -1), (xl - length, p, -1),
                          (xl - length, p - width, 1)):
        k = _kernels(xi, eta, q, sd, cd, mlm)
        part = {name: sign * np.tensordot(slip, v, axes=1) for name, v in k.items()}
        total = part if total is None else {n: total[n] + part[n] for n in total}
    t = {n: v / (2 * np.pi) for n, v in total.items()}
    u = np.column_stack([t["ux"] * se + t["uy"] * le, t["ux"] * sn + t["uy"] * ln, t["uz"]])
    # Gradient from the fault frame to east-north: G = Rot g Rot^T, per km -> per m.
    rot = np.array([[se, le], [sn, ln]])
    g = np.array([[t["uxx"], t["uxy"]], [t["uyx"], t["uyy"]]]) * 1e-3
    g = np.einsum("ia,abn,jb->nij", rot, g, rot)
    e = np.zeros((x.size, 6))
    e[:, 0] = g[:, 0, 0]
    e[:, 1] = 0.5 * (g[:, 0, 1] + g[:, 1, 0])
    e[:, 3] = g[:, 1, 1]
    e[:, 5] = -lam / (lam + 2 * mu) * (e[:, 0] + e[:, 3])
    return u, e


def patch(x, y, *, cx, cy, depth, strike, dip, length, width, strike_slip=0.0, dip_slip=0.0,
          opening=0.0, lam, mu):
    """rectangle() for a fault given by its centre (cx, cy east and north, depth down; km), its
    strike (degrees clockwise from north; it dips to the right), dip (degrees), length along
    strike and width down dip (km)."""
    phi, delta = np.radians(strike), np.radians(dip)
    se, sn = np.sin(phi), np.cos(phi)
    half_h = 0.5 * width * np.cos(delta)   # horizontal and vertical half-extents down dip
    half_v = 0.5 * width * np.sin(delta)
    # The middle of the top edge lies up dip, i.e. to the left of strike, of the centre.
    te, tn = cx - sn * half_h, cy + se * half_h
    return rectangle(x, y, xs=te - 0.5 * length * se, ys=tn - 0.5 * length * sn,
                     xf=te + 0.5 * length * se, yf=tn + 0.5 * length * sn, dip=dip,
                     top=depth - half_v, bottom=depth + half_v, strike_slip=strike_slip,
                     dip_slip=dip_slip, opening=opening, lam=lam, mu=mu)
