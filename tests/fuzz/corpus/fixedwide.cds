<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="C" fieldtype="string" SUBTYPE="FixedChar" WIDTH="65535"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW C="0"/>
<ROW C="1"/>
<ROW C="2"/>
<ROW C="3"/>
<ROW C="4"/>
<ROW C="5"/>
<ROW C="6"/>
<ROW C="7"/>
<ROW C="8"/>
<ROW C="9"/>
<ROW C="10"/>
<ROW C="11"/>
<ROW C="12"/>
<ROW C="13"/>
<ROW C="14"/>
<ROW C="15"/>
<ROW C="16"/>
<ROW C="17"/>
<ROW C="18"/>
<ROW C="19"/>
<ROW RowState="8" C="x"/>
</ROWDATA></DATAPACKET>
