#include "aircraft/ModelCheck.h"

#include <Inventor/SbVec2s.h>
#include <Inventor/SbVec3s.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/elements/SoLazyElement.h>
#include <Inventor/fields/SoMFString.h>
#include <Inventor/fields/SoSFString.h>
#include <Inventor/lists/SoFieldList.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoFile.h>
#include <Inventor/nodes/SoIndexedShape.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoPointSet.h>
#include <Inventor/nodes/SoQuadMesh.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTexture3.h>
#include <Inventor/nodes/SoTriangleStripSet.h>
#include <Inventor/nodes/SoVertexProperty.h>

#include <algorithm>
#include <cstdint>

namespace {

// What a shape's per-vertex data holds, from the traversal state or from
// its own vertexProperty node, which overrides the state.
struct ShapeData {
  int64_t coordinates = 0;
  int64_t normals = 0;
  int64_t materials = 0;
  int64_t texCoords = 0;
  int normalBinding = SoNormalBinding::DEFAULT;
  int materialBinding = SoMaterialBinding::DEFAULT;
};

ShapeData shapeData(SoCallbackAction* action, SoShape* shape) {
  ShapeData d;
  d.coordinates = action->getNumCoordinates();
  d.normals = action->getNumNormals();
  d.materials = SoLazyElement::getInstance(action->getState())->getNumDiffuse();
  d.texCoords = action->getNumTextureCoordinates();
  d.normalBinding = action->getNormalBinding();
  d.materialBinding = action->getMaterialBinding();
  if (!shape->isOfType(SoVertexShape::getClassTypeId())) return d;
  SoNode* node = static_cast<SoVertexShape*>(shape)->vertexProperty.getValue();
  if (node == nullptr || !node->isOfType(SoVertexProperty::getClassTypeId())) return d;
  auto* vp = static_cast<SoVertexProperty*>(node);
  if (vp->vertex.getNum() > 0) d.coordinates = vp->vertex.getNum();
  if (vp->normal.getNum() > 0) {
    d.normals = vp->normal.getNum();
    d.normalBinding = vp->normalBinding.getValue();
  }
  if (vp->orderedRGBA.getNum() > 0) {
    d.materials = vp->orderedRGBA.getNum();
    d.materialBinding = vp->materialBinding.getValue();
  }
  const int texCoords = std::max(vp->texCoord.getNum(), vp->texCoord3.getNum());
  if (texCoords > 0) d.texCoords = texCoords;
  return d;
}

bool isIndexed(int binding) {
  return binding == SoMaterialBinding::PER_PART_INDEXED ||
         binding == SoMaterialBinding::PER_FACE_INDEXED ||
         binding == SoMaterialBinding::PER_VERTEX_INDEXED;
}
bool isPerVertex(int binding) {
  return binding == SoMaterialBinding::PER_VERTEX ||
         binding == SoMaterialBinding::PER_VERTEX_INDEXED;
}
bool isPerPart(int binding) {
  return binding == SoMaterialBinding::PER_PART || binding == SoMaterialBinding::PER_FACE ||
         binding == SoMaterialBinding::PER_PART_INDEXED ||
         binding == SoMaterialBinding::PER_FACE_INDEXED;
}

// An index field given, or coordIndex standing in for it: a field left
// empty or holding the lone default -1 means "use coordIndex".
const SoMFInt32& indicesFor(const SoMFInt32& field, const SoMFInt32& coordIndex) {
  if (field.getNum() == 0 || (field.getNum() == 1 && field[0] == -1)) return coordIndex;
  return field;
}

// Every entry is -1 (a separator) or a valid index below count.
bool indicesWithin(const SoMFInt32& field, int64_t count) {
  const int32_t* v = field.getValues(0);
  for (int i = 0; i < field.getNum(); ++i)
    if (v[i] < -1 || v[i] >= count) return false;
  return true;
}

// Vertices, and parts (faces, lines, strips), of an indexed shape.
void countIndexed(const SoMFInt32& coordIndex, int64_t& vertices, int64_t& parts) {
  vertices = parts = 0;
  bool open = false;
  for (int i = 0; i < coordIndex.getNum(); ++i) {
    if (coordIndex[i] < 0) {
      open = false;
    } else {
      ++vertices;
      if (!open) ++parts;
      open = true;
    }
  }
}

// A binding's needs: how many values and, for an indexed one, how long the
// index list must be.
std::string checkBinding(int binding, int64_t values, int64_t vertices, int64_t parts,
                         const SoMFInt32* indices, int64_t indexedLength, const char* what) {
  if (isIndexed(binding) && indices != nullptr) {
    const int64_t needed = isPerVertex(binding) ? indexedLength : parts;
    if (indices->getNum() < needed || !indicesWithin(*indices, values))
      return std::string(what) + " index out of range";
    return {};
  }
  const int64_t needed = isPerVertex(binding) ? vertices : isPerPart(binding) ? parts : 0;
  if (values < needed) return std::string("fewer ") + what + "s than its binding needs";
  return {};
}

// A node that reads a file by name while the model is parsed, other than a
// texture (read through a checked descriptor): the program would open the
// name again after the reader child, and find whatever it leads to then.
bool readsAnotherFile(SoNode* node) {
  if (node->isOfType(SoTexture2::getClassTypeId())) return false;
  SoFieldList fields;
  const int n = node->getFields(fields);
  for (int i = 0; i < n; ++i) {
    SbName name;
    node->getFieldName(fields[i], name);
    const bool fileField = name == "filename" || name == "filenames" || name == "url" ||
                           name == "sourceProgram" ||
                           (name == "name" && node->isOfType(SoFile::getClassTypeId()));
    if (!fileField) continue;
    SoField* field = fields[i];
    if (field->isOfType(SoSFString::getClassTypeId()) &&
        static_cast<SoSFString*>(field)->getValue().getLength() > 0)
      return true;
    if (field->isOfType(SoMFString::getClassTypeId()) &&
        static_cast<SoMFString*>(field)->getNum() > 0)
      return true;
  }
  return false;
}

struct Walk {
  int maxTextureSize;
  std::string problem;

  SoCallbackAction::Response fail(const std::string& what) {
    if (problem.empty()) problem = what;
    return SoCallbackAction::ABORT;
  }

  SoCallbackAction::Response node(SoCallbackAction* action) {
    // The full path: the nodes under a file node are hidden from the plain one.
    const auto* path = reinterpret_cast<const SoFullPath*>(action->getCurPath());
    if (path->getLength() > kMaxModelDepth) return fail("nested too deeply");
    if (readsAnotherFile(path->getTail())) return fail("names another file to read");
    return SoCallbackAction::CONTINUE;
  }

  SoCallbackAction::Response texture(SoNode* node) {
    int width = 0, height = 0;
    if (node->isOfType(SoTexture2::getClassTypeId())) {
      SbVec2s size;
      int components = 0;
      auto* texture = static_cast<SoTexture2*>(node);
      texture->image.getValue(size, components);
      width = size[0];
      height = size[1];
      // A named image with no pixels read without complaint, yet draws plain.
      if (texture->filename.getValue().getLength() > 0 && (width == 0 || height == 0))
        return fail("texture cannot be read");
    } else if (node->isOfType(SoTexture3::getClassTypeId())) {
      SbVec3s size;
      int components = 0;
      static_cast<SoTexture3*>(node)->images.getValue(size, components);
      width = std::max(size[0], size[1]);
      height = size[2];
    }
    // Sides past 32767 wrap negative in the 16-bit sizes.
    if (width < 0 || height < 0 || width > maxTextureSize || height > maxTextureSize)
      return fail("texture too large for the GL");
    return SoCallbackAction::CONTINUE;
  }

  SoCallbackAction::Response shape(SoCallbackAction* action, SoShape* shape) {
    const ShapeData d = shapeData(action, shape);
    int64_t vertices = 0, parts = 0;
    if (shape->isOfType(SoIndexedShape::getClassTypeId())) {
      auto* s = static_cast<SoIndexedShape*>(shape);
      if (!indicesWithin(s->coordIndex, d.coordinates))
        return fail("coordinate index out of range");
      countIndexed(s->coordIndex, vertices, parts);
      const int64_t length = s->coordIndex.getNum();
      const SoMFInt32& materials = indicesFor(s->materialIndex, s->coordIndex);
      if (std::string e = checkBinding(d.materialBinding, d.materials, vertices, parts, &materials,
                                       length, "material");
          !e.empty())
        return fail(e);
      // No normals given: the shape makes its own, with its own indices.
      if (d.normals > 0) {
        const SoMFInt32& normals = indicesFor(s->normalIndex, s->coordIndex);
        if (std::string e = checkBinding(d.normalBinding, d.normals, vertices, parts, &normals,
                                         length, "normal");
            !e.empty())
          return fail(e);
      }
      // Likewise texture coordinates, which are generated when none are given.
      if (d.texCoords > 0) {
        const SoMFInt32& tex = indicesFor(s->textureCoordIndex, s->coordIndex);
        if (tex.getNum() < length || !indicesWithin(tex, d.texCoords))
          return fail("texture coordinate index out of range");
      }
      return SoCallbackAction::PRUNE;
    }

    if (!shape->isOfType(SoNonIndexedShape::getClassTypeId())) return SoCallbackAction::CONTINUE;
    const int64_t start = static_cast<SoNonIndexedShape*>(shape)->startIndex.getValue();
    if (start < 0 || start > d.coordinates) return fail("start index out of range");
    const int64_t available = d.coordinates - start;
    const SoMFInt32* counts = nullptr;
    if (shape->isOfType(SoFaceSet::getClassTypeId()))
      counts = &static_cast<SoFaceSet*>(shape)->numVertices;
    else if (shape->isOfType(SoLineSet::getClassTypeId()))
      counts = &static_cast<SoLineSet*>(shape)->numVertices;
    else if (shape->isOfType(SoTriangleStripSet::getClassTypeId()))
      counts = &static_cast<SoTriangleStripSet*>(shape)->numVertices;
    if (counts != nullptr) {
      for (int i = 0; i < counts->getNum(); ++i) {
        const int32_t n = (*counts)[i];
        // -1: the rest of the coordinates.
        if (n == -1) {
          vertices = available;
        } else if (n < 0) {
          return fail("negative vertex count");
        } else {
          vertices += n;
        }
        ++parts;
        if (vertices > available) return fail("vertex count past the coordinates");
      }
    } else if (shape->isOfType(SoPointSet::getClassTypeId())) {
      const int32_t n = static_cast<SoPointSet*>(shape)->numPoints.getValue();
      vertices = n < 0 ? available : n;
      parts = vertices;
    } else if (shape->isOfType(SoQuadMesh::getClassTypeId())) {
      auto* q = static_cast<SoQuadMesh*>(shape);
      const int64_t rows = q->verticesPerColumn.getValue(), columns = q->verticesPerRow.getValue();
      if (rows < 0 || columns < 0) return fail("negative vertex count");
      vertices = rows * columns;
      parts = rows;
    }
    if (vertices > available) return fail("vertex count past the coordinates");
    if (std::string e =
            checkBinding(d.materialBinding, d.materials, vertices, parts, nullptr, 0, "material");
        !e.empty())
      return fail(e);
    if (d.normals > 0) {
      if (std::string e =
              checkBinding(d.normalBinding, d.normals, vertices, parts, nullptr, 0, "normal");
          !e.empty())
        return fail(e);
    }
    return SoCallbackAction::PRUNE;
  }
};

SoCallbackAction::Response onNode(void* walk, SoCallbackAction* action, const SoNode*) {
  return static_cast<Walk*>(walk)->node(action);
}
SoCallbackAction::Response onTexture(void* walk, SoCallbackAction*, const SoNode* node) {
  return static_cast<Walk*>(walk)->texture(const_cast<SoNode*>(node));
}
SoCallbackAction::Response onShape(void* walk, SoCallbackAction* action, const SoNode* node) {
  return static_cast<Walk*>(walk)->shape(action, static_cast<SoShape*>(const_cast<SoNode*>(node)));
}

}  // namespace

std::string checkModelGraph(SoNode* root, int maxTextureSize) {
  if (root == nullptr) return {};
  Walk walk{maxTextureSize, {}};
  SoCallbackAction action;
  action.addPreCallback(SoNode::getClassTypeId(), onNode, &walk);
  action.addPreCallback(SoTexture2::getClassTypeId(), onTexture, &walk);
  action.addPreCallback(SoTexture3::getClassTypeId(), onTexture, &walk);
  action.addPreCallback(SoShape::getClassTypeId(), onShape, &walk);
  action.apply(root);
  return walk.problem;
}
