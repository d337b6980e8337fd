<?xml version="1.0" encoding="UTF-8"?>
<!-- Lays out a setup manifest one element per line, each level indented by a tab.
     The indentation is written as text nodes of its own, so that it survives a
     transform into a document object; element content is copied unchanged. The
     declaration (euc-kr) is written by the library when it saves the result. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" omit-xml-declaration="yes"/>

  <xsl:template match="/">
    <xsl:apply-templates select="*"/>
  </xsl:template>

  <xsl:template match="*">
    <xsl:param name="indent" select="''"/>
    <xsl:copy>
      <xsl:copy-of select="@*"/>
      <xsl:choose>
        <!-- Only elements, comments and instructions inside: one per line. -->
        <xsl:when test="node() and not(text()[normalize-space()])">
          <xsl:for-each select="node()">
            <xsl:text>&#10;</xsl:text>
            <xsl:value-of select="$indent"/>
            <xsl:text>&#9;</xsl:text>
            <xsl:apply-templates select=".">
              <xsl:with-param name="indent" select="concat($indent, '&#9;')"/>
            </xsl:apply-templates>
          </xsl:for-each>
          <xsl:text>&#10;</xsl:text>
          <xsl:value-of select="$indent"/>
        </xsl:when>
        <xsl:otherwise>
          <xsl:copy-of select="node()"/>
        </xsl:otherwise>
      </xsl:choose>
    </xsl:copy>
  </xsl:template>

  <xsl:template match="comment()|processing-instruction()">
    <xsl:copy/>
  </xsl:template>
</xsl:stylesheet>
