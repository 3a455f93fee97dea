<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<!DOCTYPE DATAPACKET [<!ENTITY e "xxxxxxxxxxxxxxxx">]>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="CDPRODUTO" fieldtype="string" WIDTH="10"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW CDPRODUTO="&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;"/>
</ROWDATA></DATAPACKET>
