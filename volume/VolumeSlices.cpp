// Drawing one volume of the delayed pass: its slices through the part of
// its box that holds anything visible, blended and fogged as the volume's
// place in the scene asks.

#include "volume/SoTransferFunction.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeRender.h"
#include "volume/VolumeRenderInternal.h"

namespace volumerender {

namespace {

void
setBlending(const cc_glglue * glue, int comp, bool premultiply)
{
  const bool equations = cc_glglue_has_blendequation(glue);
  if (comp == SoVolumeRender::MAX_INTENSITY) {
    glBlendFunc(GL_ONE, GL_ONE);
    if (equations) cc_glglue_glBlendEquation(glue, GL_MAX);
  } else {
    glBlendFunc(GL_SRC_ALPHA,
                comp == SoVolumeRender::SUM_INTENSITY ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
    // Into an empty target: keep the coverage in alpha for the compositing.
    if (premultiply && cc_glglue_has_blendfuncseparate(glue))
      cc_glglue_glBlendFuncSeparate(glue, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE,
                                    GL_ONE_MINUS_SRC_ALPHA);
    if (equations) cc_glglue_glBlendEquation(glue, GL_FUNC_ADD);
  }
}

void
setFog(const Pending & p)
{
  if (p.fog) {
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, p.fogMode);
    glFogf(GL_FOG_DENSITY, p.fogDensity);
    glFogf(GL_FOG_START, p.fogStart);
    glFogf(GL_FOG_END, p.fogEnd);
    glFogfv(GL_FOG_COLOR, p.fogColour);
  } else {
    glDisable(GL_FOG);
  }
}

// One draw for all slices of the volume: a software rasteriser pays per
// draw, and triangles are drawn in the order given, back to front. With
// `scissors`, one draw per rectangle, each cut to it, of the triangles
// worked out once.
void
drawSliceTriangles(const SlicePlan & plan, const SbBox3f & occupied, const SbBox3f & box,
                   const std::vector<int> * scissors)
{
  const SbVec3f lo = box.getMin();
  const SbVec3f size = box.getMax() - lo;
  std::vector<SbVec3f> kept; // texture coordinate, vertex; with scissors
  auto emit = [&kept, scissors](const SbVec3f & t, const SbVec3f & v) {
    if (scissors) {
      kept.push_back(t);
      kept.push_back(v);
    } else {
      glTexCoord3fv(t.getValue());
      glVertex3fv(v.getValue());
    }
  };
  SbVec3f poly[6];
  if (!scissors) glBegin(GL_TRIANGLES);
  for (int i = 0; i < plan.count; ++i) {
    const int n = slicePolygon(plan, i, occupied, poly);
    for (int k = 1; k + 1 < n; ++k)
      for (int v : {0, k, k + 1}) {
        const SbVec3f t = poly[v] - lo;
        emit(SbVec3f(t[0] / size[0], t[1] / size[1], t[2] / size[2]), poly[v]);
      }
  }
  if (!scissors) {
    glEnd();
    return;
  }
  glEnable(GL_SCISSOR_TEST);
  GLint vp[4];
  glGetIntegerv(GL_VIEWPORT, vp);
  for (size_t i = 0; i + 3 < scissors->size(); i += 4) {
    const int * r = &(*scissors)[i];
    glScissor(vp[0] + r[0], vp[1] + r[1], r[2] - r[0], r[3] - r[1]);
    glBegin(GL_TRIANGLES);
    for (size_t k = 0; k + 1 < kept.size(); k += 2) {
      glTexCoord3fv(kept[k].getValue());
      glVertex3fv(kept[k + 1].getValue());
    }
    glEnd();
  }
  glDisable(GL_SCISSOR_TEST);
}

} // namespace

// Unlit, 3-D textured, blended, depth-tested without writing depth.
void
setVolumeState()
{
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_R);
  glDisable(GL_TEXTURE_GEN_Q);
  glDisable(GL_CLIP_PLANE0);
  glEnable(GL_TEXTURE_3D);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

void
drawSlices(const Pending & p, Context & gl, const cc_glglue * glue, const GLuint * programs,
           bool premultiply, float leastPerVoxel, const std::vector<int> * scissors)
{
  SbVec3s dim;
  void * buffer = nullptr;
  SoVolumeData::DataType type;
  if (!p.data->getVolumeData(dim, buffer, type)) return;
  if (!textureFits(dim, gl.limits)) return;
  const SoVolumeRender * node = p.node;
  const int comp = node->composition.getValue();
  const SbBox3f box = p.data->getVolumeSize();
  SlicePlan plan;
  if (!planSlices(p.view, box, dim, node->numSlicesControl.getValue(), node->numSlices.getValue(),
                  comp == SoVolumeRender::MAX_INTENSITY, plan, leastPerVoxel))
    return;

  const GLint filter =
    node->interpolation.getValue() == SoVolumeRender::NEAREST ? GL_NEAREST : GL_LINEAR;
  // The opacity correction is baked into the texture only without fragment
  // programs.
  const Texture & tex =
    bindTexture(gl.textures[node], p, dim, programs ? 1.0f : plan.ratio, filter, glue);
  setBlending(glue, comp, premultiply);
  setFog(p);
  if (programs) useProgram(glue, programs, p, plan.ratio);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(p.view.projection[0]);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(p.view.modelview[0]);

  if (tex.last[0] <= tex.first[0]) return; // nothing visible
  const SbBox3f occupied = occupiedBox(tex.first, tex.last, box, dim, filter == GL_LINEAR);
  const SbMatrix mvp = clipMatrix(p.view);
  if (outsideView(occupied, mvp)) return;
  if (!scissors) {
    drawSliceTriangles(plan, occupied, box, nullptr);
    return;
  }
  // Only the rectangles that the volume reaches.
  float ndc[4];
  if (!screenRect(mvp, occupied, ndc)) return;
  const float w = 0.5f * float(p.view.viewport[0]), h = 0.5f * float(p.view.viewport[1]);
  std::vector<int> reached;
  for (size_t i = 0; i + 3 < scissors->size(); i += 4) {
    const int * r = &(*scissors)[i];
    if (float(r[0]) < (ndc[2] + 1.0f) * w + 1.0f && float(r[2]) > (ndc[0] + 1.0f) * w - 1.0f &&
        float(r[1]) < (ndc[3] + 1.0f) * h + 1.0f && float(r[3]) > (ndc[1] + 1.0f) * h - 1.0f)
      reached.insert(reached.end(), r, r + 4);
  }
  if (!reached.empty()) drawSliceTriangles(plan, occupied, box, &reached);
}

bool
softVolume(const Pending & p)
{
  return p.node->numSlicesControl.getValue() == SoVolumeRender::AUTOMATIC &&
         p.node->composition.getValue() == SoVolumeRender::ALPHA_BLENDING &&
         p.node->interpolation.getValue() == SoVolumeRender::LINEAR;
}

void
uploadTextures(const std::vector<Pending> & volumes, Context & gl, const cc_glglue * glue,
               const GLuint * programs)
{
  for (const Pending & p : volumes) {
    const auto known = gl.textures.find(p.node);
    if (known != gl.textures.end() && known->second.name != 0 &&
        known->second.dataId == p.data->getNodeId() &&
        known->second.transferId == (p.transfer ? p.transfer->getNodeId() : 0))
      continue;
    SbVec3s dim;
    void * buffer = nullptr;
    SoVolumeData::DataType type;
    if (!p.data->getVolumeData(dim, buffer, type) || !textureFits(dim, gl.limits)) continue;
    // Without programs the opacity correction of this view is baked in.
    SlicePlan plan;
    if (!programs &&
        !planSlices(p.view, p.data->getVolumeSize(), dim, p.node->numSlicesControl.getValue(),
                    p.node->numSlices.getValue(),
                    p.node->composition.getValue() == SoVolumeRender::MAX_INTENSITY, plan))
      continue;
    const GLint filter =
      p.node->interpolation.getValue() == SoVolumeRender::NEAREST ? GL_NEAREST : GL_LINEAR;
    bindTexture(gl.textures[p.node], p, dim, programs ? 1.0f : plan.ratio, filter, glue);
  }
}

} // namespace volumerender
