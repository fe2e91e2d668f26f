// Fragment programs that correct each sample's opacity for the slice
// spacing, so that the texture need not change with it. One per fog mode
// (none, linear, exp, exp2): the fog option makes the program fog exactly as
// the fixed pipeline does. Without fragment programs the correction is baked
// into the texture instead.

#include "volume/VolumeRenderInternal.h"

namespace volumerender {

std::string
programText(int fogVariant)
{
  static const char * const fogOption[4] = {"", "OPTION ARB_fog_linear;\n", "OPTION ARB_fog_exp;\n",
                                            "OPTION ARB_fog_exp2;\n"};
  // alpha' = 1 - (1 - alpha)^ratio; POW of 0 is 0 for a positive ratio.
  return std::string("!!ARBfp1.0\n") + fogOption[fogVariant] +
         "PARAM ratio = program.local[0];\n"
         "PARAM one = {1.0, 1.0, 1.0, 1.0};\n"
         "TEMP c, t;\n"
         "TEX c, fragment.texcoord[0], texture[0], 3D;\n"
         "SUB t.x, one.x, c.w;\n"
         "POW t.x, t.x, ratio.x;\n"
         "SUB c.w, one.x, t.x;\n"
         "MOV result.color, c;\n"
         "END\n";
}

const Programs &
preparePrograms(Programs & pr, const cc_glglue * glue)
{
  if (pr.tried) return pr;
  pr.tried = true;
  if (!cc_glglue_has_arb_fragment_program(glue)) return pr;
  cc_glglue_glGenPrograms(glue, 4, pr.id);
  pr.usable = true;
  for (int v = 0; v < 4; ++v) {
    const std::string text = programText(v);
    cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, pr.id[v]);
    cc_glglue_glProgramString(glue, GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB,
                              GLsizei(text.size()), text.c_str());
    // The error position tells whether the program loaded; reading GL
    // errors instead would take those of others from the window's check.
    GLint errorAt = 0;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &errorAt);
    if (errorAt != -1) pr.usable = false;
  }
  cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, 0);
  return pr;
}

void
useProgram(const cc_glglue * glue, const GLuint * programs, const Pending & p, float ratio)
{
  if (ratio == 1.0f) {
    glDisable(GL_FRAGMENT_PROGRAM_ARB);
    return;
  }
  int variant = 0;
  if (p.fog) variant = p.fogMode == GL_LINEAR ? 1 : (p.fogMode == GL_EXP ? 2 : 3);
  cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, programs[variant]);
  cc_glglue_glProgramLocalParameter4f(glue, GL_FRAGMENT_PROGRAM_ARB, 0, ratio, 0.0f, 0.0f, 0.0f);
  glEnable(GL_FRAGMENT_PROGRAM_ARB);
}

} // namespace volumerender
